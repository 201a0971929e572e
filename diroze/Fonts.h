#pragma once
// The font faces the label printer offers. Needs a running QGuiApplication.

#include <QStringList>

namespace diroze {

// Installed families for the Latin writing system, sorted without regard to
// case, without vertical variants ("@...") and without foundry suffixes; plus
// "Arial", "Times New Roman" and "Courier New" where font matching resolves
// them to an installed metric-compatible face.
QStringList InstalledFontNames();

} // namespace diroze
