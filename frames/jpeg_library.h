#pragma once

// The libjpeg headers, in the order they need: jpeglib.h uses FILE and
// size_t without including their headers.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>
