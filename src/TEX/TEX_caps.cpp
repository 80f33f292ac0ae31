#include "TEX/TEX_caps.h"

TEX_caps_class TEX_caps;
