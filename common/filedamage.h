// What is wrong with a file that another program wrote, below the layers that read such files:
// the zip layer throws it as zip::ZipError and the workbook engine as workbook::Damage, one type
// under both names, so that a damaged package inside a workbook is caught as any other damage.
#pragma once

#include <QString>

// why: words that complete "The workbook "<path>" is damaged: ".
struct FileDamage {
    QString why;
};
