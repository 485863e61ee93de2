// The program's icons, drawn from the 16-colour images of its resources.
#pragma once

#include <QIcon>
#include <QPixmap>

class IResourceProvider;

// The sizes a window icon carries: the window system and the task bar pick among them.
inline constexpr int kWindowIconSizes[] = {16, 32, 48, 64, 128};

// Every size of kWindowIconSizes of icon id; a null icon when there is no such icon.
QIcon LoadIcon(const IResourceProvider& resources, int iconId);
// The image of the given size in logical pixels (16 or 32) for a screen of that device pixel
// ratio; a null pixmap when there is none.
QPixmap LoadIconPixmap(const IResourceProvider& resources, int iconId, int size, qreal dpr);
