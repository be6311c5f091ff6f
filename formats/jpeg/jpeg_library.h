#pragma once

// libjpeg's headers, included the one way the reader needs them: jpeglib.h
// wants FILE declared first, and the reader is written against the 6b-level
// interface.

#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

static_assert(JPEG_LIB_VERSION == 62, "the JPEG reader needs libjpeg's 6b-level interface");
