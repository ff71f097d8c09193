// The shared file dialogs.
#include "app/filedialog.h"

bool FileDialog::Execute() {
    const std::optional<FileDialogAnswer> chosen = m_host.chooseFile(
        m_owner, FileDialogRequest{m_kind, Filter, DefaultExt, FileName, FilterIndex});
    if (!chosen)
        return false;
    FileName = chosen->fileName;
    FilterIndex = chosen->filterIndex;
    return true;
}
