#pragma once
#include <QString>

namespace tav {

// The folder that holds the program's data (langages/, bin/ tools): the
// executable's folder in the build tree, <prefix>/share/travoline once
// installed. setProgramFolder() overrides it (tests, portable copies).
QString programFolder();
void setProgramFolder(const QString &folder);

// The folder of the running executable (where liborvalib.so is looked for first).
QString executableFolder();

} // namespace tav
