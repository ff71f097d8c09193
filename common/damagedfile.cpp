// The damaged-file error every reading layer throws.
#include "common/damagedfile.h"

DamagedFile::DamagedFile(const QString &why) : std::runtime_error(why.toStdString()), why(why) {}
