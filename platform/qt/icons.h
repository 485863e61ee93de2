// The program's icons, drawn from the 16-colour images of its resources.
#pragma once

#include <QIcon>
#include <QPixmap>

class IResourceProvider;

// Both sizes of icon id; a null icon when there is no such icon.
QIcon LoadIcon(const IResourceProvider& resources, int iconId);
// The image of the given size (32 or 16); a null pixmap when there is none.
QPixmap LoadIconPixmap(const IResourceProvider& resources, int iconId, int size);
