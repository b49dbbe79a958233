// "qvl image": what a theme author sees for an image file.
#include "Fixtures.h"
#include "images/Image.h"
#include "platform/File.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(QvlImage, DescribesFramesAndWritesTheFirstAsPng)
{
    const std::string base = plat::TempFolder() + "qvl-image-" +
                             std::to_string(plat::GetCurrentProcessId());
    const std::string gif = base + ".gif", png = base + ".png", out = base + ".txt";
    const Bytes data = MakeGif(3, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
                               {{0, 0, 3, 2, {0, 1, 2, 3, 3, 3}, {}, true, 25, -1},
                                {1, 0, 1, 1, {3}, {}, true, 0, 3}});
    ASSERT_TRUE(plat::WriteFileReplacing(gif, data.data(), data.size()));
    const std::string command = "LSAN_OPTIONS=suppressions=" + std::string(QVL_TEST_DATA) +
                                "/../lsan.supp " + QVL_APP_DIR + "/qvl image " + gif +
                                " --png " + png + " > " + out;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<uint8_t> text;
    ASSERT_TRUE(ReadImageFile(out, text));   // any file will do for reading bytes
    EXPECT_EQ(std::string(text.begin(), text.end()),
              gif + ": 3 x 2, 2 frames\n"
                    "  frame 0: 3 x 2, 250 ms, opaque\n"
                    "  frame 1: 3 x 2, 0 ms, keyed (key colour ffffff)\n");
    std::vector<uint8_t> written;
    ASSERT_TRUE(ReadImageFile(png, written));
    CImage image;
    CImageReader reader(written.data(), written.size());
    ASSERT_TRUE(image.Load(reader));
    EXPECT_EQ(image.GetSize(), (plat::Size{3, 2}));
    EXPECT_EQ(image.GetFrame(0)->bitmap.Row(0)[1], MakePixel(0, 255, 0));
    for (const std::string& file : {gif, png, out})
        plat::DeleteFile(file);
    EXPECT_NE(std::system((std::string(QVL_APP_DIR) + "/qvl image /no/such/file.png 2>/dev/null").c_str()), 0);
}

}  // namespace
