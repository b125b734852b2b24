// Qt 6.4's Windows print engine refers to the DirectWrite font engine's
// createHFONT() for text drawn with a DirectWrite font. A Qt built without
// DirectWrite fonts (as ours is: no Direct2D) never makes such a font, so
// that branch never runs, but the static library still needs the symbol to
// link. This definition stands in for it; it is never called. The build adds
// it only when Qt Gui lacks the engine.

#include <windows.h>

class QWindowsFontEngineDirectWrite {
public:
    HFONT createHFONT() const;
};

HFONT QWindowsFontEngineDirectWrite::createHFONT() const
{
    return nullptr;
}
