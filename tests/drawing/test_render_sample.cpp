// The sample picture of "qvl render-sample" against a reference picture made the first time,
// so that any change to how shapes, text and images are drawn shows up here.
#include "images/Image.h"
#include "platform/File.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

CImagePtr Load(const std::string& path)
{
    std::vector<uint8_t> data;
    if (!ReadImageFile(path, data))
        return nullptr;
    auto image = std::make_shared<CImage>();
    CImageReader reader(data.data(), data.size());
    return image->Load(reader) ? image : nullptr;
}

TEST(RenderSample, MatchesTheReferencePicture)
{
    const std::string qvl = std::string(QVL_APP_DIR) + "/qvl";
    const std::string data = QVL_TEST_DATA;
    const std::string reference = data + "/drawing/render-sample.png";
    const std::string out = plat::TempFolder() + "qvl-render-sample-" +
                            std::to_string(plat::GetCurrentProcessId()) + ".png";
    ASSERT_TRUE(plat::FileExists(qvl)) << "qvl is built with the tests";
    const std::string command = "LSAN_OPTIONS=suppressions=" + data + "/../lsan.supp " + qvl +
                                " render-sample " + out;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    if (!plat::FileExists(reference)) {
        ASSERT_TRUE(plat::CopyFileReplacing(out, reference));
        plat::DeleteFile(out);
        GTEST_SKIP() << "made the reference picture " << reference
                     << ": look at it, then commit it";
    }
    const CImagePtr drawn = Load(out), expected = Load(reference);
    plat::DeleteFile(out);
    ASSERT_TRUE(drawn && expected);
    ASSERT_EQ(drawn->GetSize(), expected->GetSize());
    // Small differences (another FreeType build rounding a coverage value) pass; anything that
    // moves, recolours or loses a shape does not.
    const std::vector<uint32_t>& a = drawn->GetFrame(0)->bitmap.pixels;
    const std::vector<uint32_t>& b = expected->GetFrame(0)->bitmap.pixels;
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            const int d = static_cast<int>(a[i] >> shift & 0xFF) - static_cast<int>(b[i] >> shift & 0xFF);
            if (d > 24 || d < -24) {
                ++differing;
                break;
            }
        }
    EXPECT_LE(differing, a.size() / 1000) << "pixels that differ from " << reference;
}

}  // namespace
