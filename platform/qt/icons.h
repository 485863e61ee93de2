// The program's icons, drawn from the 16-colour images of the resources.
#pragma once

#include <QIcon>
#include <QPixmap>

#include <string>

// Both sizes of icon id; a null icon when there is no such icon.
QIcon LoadIcon(int iconId);
// The image of the given size (32 or 16); a null pixmap when there is none.
QPixmap LoadIconPixmap(int iconId, int size);
// "IDI_MAIN" -> IDI_MAIN, as a static icon control names its icon; -1 when unknown.
int IconIdFromName(const std::string& name);
