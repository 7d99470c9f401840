// The transport buttons' symbols, painted in code so that they stay sharp at any
// size and follow the palette's text colour.
#pragma once

#include <QIcon>

namespace pelmora {

enum class TransportSymbol { Play, Pause, Stop, Previous, Next };

QIcon transportIcon(TransportSymbol symbol, const QColor& colour, int size = 20);

}  // namespace pelmora
