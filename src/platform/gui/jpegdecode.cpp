#include "platform/gui/jpegdecode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <jerror.h>

namespace {

// Pictures beyond this many pixels are refused rather than allocated; a
// damaged header can claim up to 65500 x 65500.
constexpr unsigned long kMaxPixels = 32ul * 1024 * 1024;

// libjpeg's own working memory (a progressive picture keeps every
// coefficient of the whole picture, two bytes a sample of each component,
// up to ten components) is bounded too: beyond it the decoder stops with
// an error instead of allocating.
constexpr long kMaxWorkingMemory = 256l * 1024 * 1024;

// A progressive picture may hold any number of scans, each of which makes
// the decoder pass over the whole picture again; real pictures have about
// ten. A damaged file claiming thousands would keep the program busy.
constexpr int kMaxScans = 200;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void failDecoding(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level) {
    // libjpeg only warns when the data ends early and pads the rest of the
    // picture with grey; a cut-off file (an interrupted download) must not
    // pass for a picture. Other warnings about damaged data are tolerated,
    // as every viewer does.
    if (level == -1 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        failDecoding(cinfo);
}

void limitScans(j_common_ptr cinfo) {
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->is_decompressor && dinfo->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "picture of more than %d scans is not supported", kMaxScans);
        std::longjmp(err->jump, 1);
    }
}

struct DecodedPixels {
    unsigned char* pixels = nullptr;  // width * height * 4 bytes, R G B X
    unsigned width = 0;
    unsigned height = 0;
    char message[JMSG_LENGTH_MAX] = {};
};

// Returns true with the pixels in `out` (to be released with free), or false
// with libjpeg's message. libjpeg reports errors by longjmp back into this
// function, so its frame holds only plain C objects: the jump skips no
// destructor.
bool decodeJpeg(const unsigned char* data, unsigned long size, DecodedPixels* out) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    unsigned char* volatile pixels = nullptr;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = failDecoding;
    err.pub.emit_message = onMessage;
    err.message[0] = '\0';

    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(pixels);
        std::memcpy(out->message, err.message, sizeof out->message);
        return false;
    }

    jpeg_progress_mgr progress;
    std::memset(&progress, 0, sizeof progress);
    progress.progress_monitor = limitScans;

    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxWorkingMemory;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    // The size the header claims is checked before the decoder allocates
    // anything for it.
    if (cinfo.image_width == 0 || cinfo.image_height == 0 ||
        static_cast<unsigned long>(cinfo.image_width) * cinfo.image_height > kMaxPixels) {
        std::snprintf(err.message, sizeof err.message, "picture of %u x %u pixels is not supported",
                      unsigned(cinfo.image_width), unsigned(cinfo.image_height));
        std::longjmp(err.jump, 1);
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBX;
    jpeg_start_decompress(&cinfo);

    const unsigned width = cinfo.output_width;
    const unsigned height = cinfo.output_height;
    if (cinfo.output_components != 4 || width == 0 || height == 0 ||
        static_cast<unsigned long>(width) * height > kMaxPixels) {
        std::snprintf(err.message, sizeof err.message, "picture of %u x %u pixels is not supported", width, height);
        std::longjmp(err.jump, 1);
    }
    const std::size_t stride = std::size_t(width) * 4;
    pixels = static_cast<unsigned char*>(std::malloc(stride * height));
    if (!pixels) {
        std::snprintf(err.message, sizeof err.message, "out of memory for %u x %u pixels", width, height);
        std::longjmp(err.jump, 1);
    }
    while (cinfo.output_scanline < height) {
        JSAMPROW row = pixels + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);

    if (cmyk) {
        // Photoshop writes CMYK inverted, as nearly every CMYK JPEG is.
        for (std::size_t i = 0, n = std::size_t(width) * height; i < n; ++i) {
            unsigned char* p = pixels + i * 4;
            const unsigned k = p[3];
            p[0] = static_cast<unsigned char>(p[0] * k / 255);
            p[1] = static_cast<unsigned char>(p[1] * k / 255);
            p[2] = static_cast<unsigned char>(p[2] * k / 255);
            p[3] = 255;
        }
    }
    out->pixels = pixels;
    out->width = width;
    out->height = height;
    return true;
}

}  // namespace

QImage DecodeJpeg(QByteArrayView bytes, QByteArray* message) {
    DecodedPixels decoded;
    if (!decodeJpeg(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()),
                    &decoded)) {
        if (message)
            *message = QByteArray(decoded.message);
        return QImage();
    }
    // The image takes over the buffer and frees it with the last copy.
    QImage wrapped(decoded.pixels, int(decoded.width), int(decoded.height), int(decoded.width) * 4,
                   QImage::Format_RGBX8888, [](void* p) { std::free(p); }, decoded.pixels);
    return wrapped.convertToFormat(QImage::Format_RGB32);
}
