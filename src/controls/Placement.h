#pragma once

#include <QLatin1String>
#include <QRect>
#include <QWidget>
#include <utility>

// The windows were laid out in pixels at 96 dpi or in twips, 15 twips to the pixel.
constexpr int pixelsFromTwips(int twips) {
    return (twips + 7) / 15;
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return {pixelsFromTwips(left), pixelsFromTwips(top), pixelsFromTwips(width), pixelsFromTwips(height)};
}

// Makes a control at its place, named as the window's design names it (tests find controls by
// that name). The arguments come before the parent, as Qt's constructors take them.
template <typename Control, typename... Arguments>
Control* placeControl(QWidget* parent, const char* name, const QRect& geometry, Arguments&&... arguments) {
    auto* control = new Control(std::forward<Arguments>(arguments)..., parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}
