#include "gif/native/NativeGraphics.h"

// TGraphic's GDI-free members, shared with the framework's own TGraphic.
#include "framework/GraphicCommon.inc"
