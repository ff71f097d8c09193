// The shared file dialogs.
#include "app/filedialog.h"

bool FileDialog::Execute() {
    const std::optional<QString> chosen =
        m_host.chooseFile(m_owner, FileDialogRequest{m_kind, Filter, DefaultExt, FileName});
    if (!chosen)
        return false;
    FileName = *chosen;
    return true;
}
