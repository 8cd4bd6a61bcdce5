#pragma once

#include <QByteArray>

class QWidget;

namespace zyl {

// Where things are on the running dialog, for a program that drives it with a real
// pointer: {"window":ID,"size":[W,H],"components":{"NAME":[X,Y,W,H],...},
// "rows":[[X,Y,W,H],...],"titles":[[X,Y,W,H],...]}. ID is the native window id; every
// box is in the dialog's coordinates; components are its visible named widgets; rows
// are the grid's wholly visible rows, cut to their cells on screen; titles are the
// grid's column titles in column order, cut to what is on screen (all 0 when none is).
QByteArray LayoutJson(QWidget* dialog);

} // namespace zyl
