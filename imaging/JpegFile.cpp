#include "JpegFile.h"
