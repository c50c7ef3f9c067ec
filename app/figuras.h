// The program's pictures: the logo and those of the two buttons.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The PNG picture at `recurso` (the logo, say), read without probing Qt's image plugins.
QPixmap Figura(const QString& recurso);

// The button picture at `recurso` (50 by 50 pixels on white), transparent by the colour
// of its lower-left pixel, with a flat silhouette for the disabled state.
QIcon FiguraDoBotao(const QString& recurso);
