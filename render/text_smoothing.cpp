// Reading the text smoothing settings.
#include "render/text_smoothing.h"

TextSmoothing CurrentTextSmoothing()
{
    TextSmoothing now;
    if (!SystemParametersInfoA(SPI_GETFONTSMOOTHING, 0, &now.on, 0)) now.on = FALSE;
    if (!SystemParametersInfoA(SPI_GETFONTSMOOTHINGTYPE, 0, &now.type, 0)) now.type = 0;
    if (!SystemParametersInfoA(SPI_GETFONTSMOOTHINGCONTRAST, 0, &now.contrast, 0)) now.contrast = 0;
    if (!SystemParametersInfoA(SPI_GETFONTSMOOTHINGORIENTATION, 0, &now.orientation, 0)) now.orientation = 0;
    return now;
}
