// The pictures of the two buttons, drawn above their captions.
#pragma once

#include <QIcon>
#include <QString>

// The button picture at `recurso` (50 by 50 pixels on white), transparent by the colour
// of its lower-left pixel, with a flat silhouette for the disabled state.
QIcon FiguraDoBotao(const QString& recurso);
