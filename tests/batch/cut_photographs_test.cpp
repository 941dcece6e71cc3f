// Photographs cut short at every early offset and at offsets spread over the
// rest: each one either becomes a thumbnail or ends the step with one of the
// program's messages, and the photograph is never changed.

#include "batch/traite_image.h"

#include "common/errors.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tamblure::batch {
namespace {

namespace fs = std::filesystem;

// Different makes, with GPS, interoperability, previews and maker notes.
const char* const kPhotographs[] = {
    "Canon_40D.jpg",
    "Canon_PowerShot_S40.jpg",
    "Fujifilm_FinePix6900ZOOM.jpg",
    "Kodak_CX7530.jpg",
    "Nikon_D70.jpg",
    "Olympus_C8080WZ.jpg",
    "Panasonic_DMC-FZ30.jpg",
    "Pentax_K10D.jpg",
    "Samsung_Digimax_i50_MP3.jpg",
    "Sony_HDR-HC3.jpg",
    "Konica_Minolta_DiMAGE_Z3.jpg",
    "gps/DSCN0010.jpg",
};

std::vector<std::size_t> cutOffsets(std::size_t size)
{
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < std::min<std::size_t>(size, 4096); ++i)
        offsets.push_back(i);
    if (size > 4096) {
        for (std::size_t k = 0; k < 500; ++k)
            offsets.push_back(4096 + (size - 4096) * k / 500);
    }
    return offsets;
}

// A hang guard, not a speed target: a cut file must never make the step
// loop or wait. One step takes milliseconds; the limit holds on a loaded
// machine and under the sanitizers alike.
constexpr auto kHangLimit = std::chrono::seconds(60);

class CutPhotograph : public testing::TestWithParam<const char*> {};

TEST_P(CutPhotograph, BecomesAThumbnailOrEndsWithAMessage)
{
    TAMBLURE_REQUIRE_CORPUS();
    const auto whole = test::readFile(*test::corpusDir() / GetParam());
    test::TempDir dir;
    fs::create_directory(dir / "tamblure");
    const fs::path source = dir / "photo.jpg";
    const fs::path target = dir / "tamblure" / "photo.jpg";
    int made = 0, refused = 0;
    for (const std::size_t cut : cutOffsets(whole.size())) {
        const std::vector<std::uint8_t> bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        test::writeFile(source, bytes);
        for (const bool largest : {true, false}) {
            ThumbnailRequest request;
            request.criterion = largest ? Criterion::LargestDimension : Criterion::ReductionFactor;
            request.number = largest ? 32 : 3;
            const auto start = std::chrono::steady_clock::now();
            try {
                makeThumbnail(source, target, request);
                ++made;
            } catch (const Exception& e) {
                EXPECT_FALSE(e.message().empty());
                ++refused;
            }
            EXPECT_LT(std::chrono::steady_clock::now() - start, kHangLimit) << "cut at " << cut;
        }
        ASSERT_EQ(test::readFile(source), bytes) << "the photograph changed, cut at " << cut;
    }
    EXPECT_GT(made, 0);
    RecordProperty("made", made);
    RecordProperty("refused", refused);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CutPhotograph, testing::ValuesIn(kPhotographs),
                         [](const testing::TestParamInfo<const char*>& row) {
                             std::string name = row.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
} // namespace tamblure::batch
