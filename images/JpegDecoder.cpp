// JPEG through the IJG library (libjpeg-turbo): grey or colour pictures, opaque.
#include "images/Decoders.h"

#include <cstdio>   // before jpeglib.h, which needs FILE
#include <jpeglib.h>

#include <csetjmp>
#include <memory>

namespace {

// Progressive files can hold many scans; more than this is an attack, not a picture.
constexpr int kMaxScans = 256;
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr base;   // first: libjpeg hands this pointer to the callbacks
    std::jmp_buf jump;
};

// The default handler calls exit(): return to the decoder instead.
void OnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void OnMessage(j_common_ptr) {}

void OnProgress(j_common_ptr info)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > kMaxScans)
        std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

struct JpegRead {
    ErrorManager errors;
    jpeg_decompress_struct info;
    jpeg_progress_mgr progress;
    CImageFrame frame;
};

// Only libjpeg calls and plain stores run between setjmp and the end, so a longjmp skips no
// destructor.
bool ReadJpeg(JpegRead& s, const uint8_t* data, size_t size)
{
    if (setjmp(s.errors.jump))
        return false;
    s.info.mem->max_memory_to_use = kMaxDecoderMemory;
    s.progress.progress_monitor = OnProgress;
    s.info.progress = &s.progress;
    jpeg_mem_src(&s.info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s.info, TRUE);
    // Grey or colour only: CMYK and YCCK pictures fail here.
    if ((s.info.num_components != 1 && s.info.num_components != 3) ||
        !ImageSizeAllowed(s.info.image_width, s.info.image_height))
        return false;
    s.info.out_color_space = JCS_EXT_BGRA;   // grey too: its ramp is i -> (i, i, i)
    jpeg_start_decompress(&s.info);
    CImageBitmap& bitmap = s.frame.bitmap;
    if (s.info.output_components != 4 ||
        !bitmap.Allocate(static_cast<int>(s.info.output_width),
                         static_cast<int>(s.info.output_height)))
        return false;
    while (s.info.output_scanline < s.info.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(bitmap.Row(static_cast<int>(s.info.output_scanline)));
        jpeg_read_scanlines(&s.info, &row, 1);
    }
    jpeg_finish_decompress(&s.info);
    return true;
}

}  // namespace

bool DecodeJpeg(CImageReader& reader, CImage& image)
{
    auto s = std::make_unique<JpegRead>();
    s->info.err = jpeg_std_error(&s->errors.base);
    s->errors.base.error_exit = OnError;
    s->errors.base.output_message = OnMessage;
    jpeg_create_decompress(&s->info);
    const bool ok = ReadJpeg(*s, reader.Current(), reader.Remaining());
    jpeg_destroy_decompress(&s->info);
    if (!ok)
        return false;
    s->frame.bitmap.hasAlpha = false;   // the library writes 255 into every alpha byte
    image.AddFrame(std::move(s->frame));
    return true;
}
