#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Shared.h"
#include "engine/Windows.h"

namespace {

struct WindowRow {
    std::int16_t position;
    double at0, tol0, at256, tol256, at512, tol512, enbw;
};

// Values for NFFT = 1024, each with a tolerance of half a unit of its last
// given digit (at least one float step near 1).
const WindowRow kRows[] = {
    {0, 0.08, 5e-3, 0.54, 5e-3, 1, 0, 1.37},
    {1, 0.00006, 5e-6, 0.21747, 5e-6, 1, 0, 2.04},
    {2, 0, 0, 0.5, 0, 1, 0, 1.5},
    {3, -0.000337, 5e-7, -0.0575664, 5e-8, 1.0000003, 1.2e-7, 3.811},
    {4, 0.5, 0, 0.5, 0, 0.5, 0, 1},
};

class Windows : public ::testing::Test {
protected:
    void TearDown() override { NFFT = 0; }
};

TEST_F(Windows, KnownValuesAndBandwidthsAt1024)
{
    NFFT = 1024;
    for (const auto& r : kRows) {
        double enbw = -1;
        SelectWindow(r.position, enbw);
        EXPECT_NEAR(WindFn[0], r.at0, r.tol0) << r.position;
        EXPECT_NEAR(WindFn[256], r.at256, r.tol256) << r.position;
        EXPECT_NEAR(WindFn[512], r.at512, r.tol512) << r.position;
        EXPECT_EQ(enbw, r.enbw) << r.position;
        for (int i = 1; i < 512; i += 37) // periodic form: symmetric about NFFT/2
            EXPECT_NEAR(WindFn[1024 - i], WindFn[i], 1e-6) << r.position << " at " << i;
    }
}

TEST_F(Windows, FlatTopDipsBelowZeroAtTheEdge)
{
    NFFT = 1024;
    WinHFT95();
    EXPECT_LT(WindFn[0], 0.0f);
}

TEST_F(Windows, SmallerBuildLeavesHigherEntriesStale)
{
    NFFT = 8192;
    WinHanning();
    const std::vector<float> big(WindFn, WindFn + 8193);
    NFFT = 1024;
    WinHamming();
    EXPECT_FLOAT_EQ(WindFn[0], 0.08f);
    for (int i = 1024; i <= 8192; ++i)
        ASSERT_EQ(WindFn[i], big[i]) << i;
}

TEST_F(Windows, PositionOutsideTheListChangesNothing)
{
    NFFT = 2048;
    double enbw = 0;
    SelectWindow(1, enbw);
    const std::vector<float> before(WindFn, WindFn + 2048);
    for (std::int16_t pos : {-1, 5, 32767}) {
        NFFT = 1024; // a build would now change the table
        double kept = 2.04;
        SelectWindow(pos, kept);
        EXPECT_EQ(kept, 2.04) << pos;
        EXPECT_TRUE(std::equal(before.begin(), before.end(), WindFn)) << pos;
    }
}

TEST_F(Windows, NoSizeBuildsNothing)
{
    WindFn[0] = 7;
    NFFT = 0;
    WinHamming();
    EXPECT_EQ(WindFn[0], 7);
    WindFn[0] = 0;
}

} // namespace
