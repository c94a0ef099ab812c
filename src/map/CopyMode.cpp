#include "CopyMode.h"

void ApplyCopyMode(QPainter& canvas, TCopyMode mode)
{
    switch (mode) {
    case cmNotSrcCopy:
        canvas.setCompositionMode(QPainter::RasterOp_NotSource);
        break;
    case cmSrcCopy:
    case cmPatCopy:
        canvas.setCompositionMode(QPainter::CompositionMode_Source);
        break;
    }
}
