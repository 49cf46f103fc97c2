// The enlargement behind tessera.upscale, free of Python: 8-bit RGB or straight RGBA pixels in,
// the same layout out, with the batch command's own rules for flattening over a background and
// for splitting an image into bands.
//
//   RGB                 the opaque enlargement, as the command writes it for an opaque image
//   RGBA                the alpha-aware enlargement, straight RGBA out
//   RGBA + background   flattened over the background, then the opaque enlargement, RGB out
#pragma once

#include "limits_and_defaults.h"
#include "pixel_conversion.h"

#include <cstdint>
#include <optional>
#include <tessera/scaler.h>

namespace tessera::python {

// Pixels packed row after row, `channels` bytes each (3: red, green, blue; 4: and alpha).
struct ImageBytes {
    const std::uint8_t* bytes = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    int channels = 3;
};

struct ScaleRequest {
    std::int32_t factor = pixels::defaultFactor;
    int jobs = 1;                          // threads the bands of the image are shared out to
    std::optional<pixels::Rgb> background; // RGBA input only: flatten over this colour first
    // Enlarge alpha-aware and give RGBA out even when every pixel is opaque, as every frame of
    // an animation with some transparency is enlarged. Not with a background.
    bool keepAlpha = false;
    ScaleOptions edges; // wrapped borders and cells, as tessera-scale's --wrap and --grid
    ScaleSettings settings;
};

// 4 for the alpha-aware enlargement of RGBA input (or of any with keepAlpha), 3 for every opaque one.
int outputChannels(int inputChannels, const ScaleRequest& request);

// Enlarges `image` into `output`, which must hold width * factor * height * factor * 4 bytes and
// be aligned for Pixel: it serves as the target words first, then receives the result, packed
// with outputChannels bytes per pixel at its start. The caller has checked the factor, the size
// against pixels::targetSizeRefusal and the number of jobs.
void scaleImage(const ImageBytes& image, const ScaleRequest& request, std::uint8_t* output);

} // namespace tessera::python
