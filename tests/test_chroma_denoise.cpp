// The chroma noise filters: kernels, tests, write-back and the similarity
// gate. Expected values are worked out by hand from the kernel weights.
#include <cstdint>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "filters/chroma_denoise.h"

namespace voved {
namespace {

// A working line of n samples per plane, built from its planes.
class Line {
  public:
    explicit Line(std::size_t n, int16_t y = 100) : n_(n), data_(3 * n, 0) {
        for (std::size_t i = 0; i < n; ++i) {
            data_[i] = y;
        }
    }
    Line(std::initializer_list<int16_t> y, std::initializer_list<int16_t> dr,
         std::initializer_list<int16_t> db)
        : Line(y.size()) {
        SetPlane(0, y);
        SetPlane(1, dr);
        SetPlane(2, db);
    }
    void SetPlane(int p, std::initializer_list<int16_t> values) {
        std::size_t i = 0;
        for (int16_t v : values) {
            data_[p * n_ + i++] = v;
        }
    }
    int16_t* data() { return data_.data(); }
    const int16_t* data() const { return data_.data(); }
    int16_t& y(std::size_t i) { return data_[i]; }
    int16_t& dr(std::size_t i) { return data_[n_ + i]; }
    int16_t& db(std::size_t i) { return data_[2 * n_ + i]; }
    int16_t y(std::size_t i) const { return data_[i]; }
    int16_t dr(std::size_t i) const { return data_[n_ + i]; }
    int16_t db(std::size_t i) const { return data_[2 * n_ + i]; }
    std::vector<int16_t> Plane(int p) const {
        return {data_.begin() + p * n_, data_.begin() + (p + 1) * n_};
    }
    uint16_t count() const { return static_cast<uint16_t>(n_); }
    bool operator==(const Line& other) const { return data_ == other.data_; }

  private:
    std::size_t n_;
    std::vector<int16_t> data_;
};

using Plane = std::vector<int16_t>;

TEST(ChromaHelpers, AbsShortWorksOnTheLowSixteenBits) {
    EXPECT_EQ(AbsShort(-5), 5);
    EXPECT_EQ(AbsShort(7), 7);
    EXPECT_EQ(AbsShort(-32768), -32768) << "the 16-bit machine cannot negate it";
    EXPECT_EQ(AbsShort(32768), -32768);
    EXPECT_EQ(AbsShort(65535), 1) << "low 16 bits are -1";
    EXPECT_EQ(AbsShort(70000), 4464);
}

TEST(ChromaHelpers, CopySampleBytesTakesALowSixteenBitCount) {
    uint8_t source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t destination[8] = {};
    EXPECT_EQ(CopySampleBytes(destination, source, 65536u + 3u), destination);
    EXPECT_EQ(destination[0], 1);
    EXPECT_EQ(destination[2], 3);
    EXPECT_EQ(destination[3], 0) << "only the low 16 bits of the count are copied";
    EXPECT_EQ(CopySampleBytes(source, source, 8), source);
    EXPECT_EQ(source[7], 8);
}

TEST(ChromaDenoise1, FiveSampleExampleWritesBackOnlyTheInterior) {
    Line l0({100, 100, 100, 100, 100}, {0, 0, 16, 0, 0}, {0, 0, -16, 0, 0});
    Line out(5, 0);
    ASSERT_EQ(ChromaDenoise1(5, 255, out.data(), l0.data()), 0);
    EXPECT_EQ(out.Plane(0), Plane(5, 100));
    EXPECT_EQ(out.Plane(1), (Plane{0, 0, 4, 1, 0}));
    EXPECT_EQ(out.Plane(2), (Plane{0, 0, -4, -1, 0})) << "(-4) >> 2 rounds down to -1";
    EXPECT_EQ(l0.Plane(1), (Plane{0, 0, 4, 0, 0}));
    EXPECT_EQ(l0.Plane(2), (Plane{0, 0, -4, 0, 0}));
}

TEST(ChromaDenoise1, BrightLimitFollowsTheLevel) {
    struct Case {
        int16_t level;
        int16_t limit;
    };
    for (Case c : {Case{255, 218}, Case{120, 218}, Case{0, 218}, Case{-7, 218}, Case{121, 116},
                   Case{254, 249}, Case{200, 195}}) {
        // Pixel 0 at the limit is filtered, pixel 1 one above it is copied.
        Line l0({c.limit, static_cast<int16_t>(c.limit + 1)}, {16, 0}, {0, 16});
        Line out(2, 0);
        ASSERT_EQ(ChromaDenoise1(2, c.level, out.data(), l0.data()), 0);
        EXPECT_EQ(out.dr(0), 12) << "level " << c.level;
        EXPECT_EQ(out.db(0), 4) << "level " << c.level;
        EXPECT_EQ(out.dr(1), 0) << "level " << c.level << ": a bright pixel is copied";
        EXPECT_EQ(out.db(1), 16) << "level " << c.level;
        EXPECT_EQ(out.y(1), c.limit + 1);
    }
}

TEST(ChromaDenoise1, ShortLinesUseTheShortKernelsWithoutWriteBack) {
    Line single({100}, {9}, {-9});
    Line out1(1, 0);
    ASSERT_EQ(ChromaDenoise1(1, 255, out1.data(), single.data()), 0);
    EXPECT_EQ(out1.dr(0), 9);
    EXPECT_EQ(out1.db(0), -9);

    Line three({100, 100, 100}, {8, 0, 8}, {-8, 0, -8});
    const Line before = three;
    Line out3(3, 0);
    ASSERT_EQ(ChromaDenoise1(3, 255, out3.data(), three.data()), 0);
    EXPECT_EQ(out3.Plane(1), (Plane{6, 4, 6}));
    EXPECT_EQ(out3.Plane(2), (Plane{-6, -4, -6}));
    EXPECT_EQ(three, before);

    Line four({100, 100, 100, 100}, {4, 0, 0, 4}, {0, 0, 0, 0});
    Line out4(4, 0);
    ASSERT_EQ(ChromaDenoise1(4, 255, out4.data(), four.data()), 0);
    EXPECT_EQ(out4.Plane(1), (Plane{3, 1, 1, 3}));
}

TEST(ChromaDenoise1, EdgeAtPixelTwoUndoesTheHead) {
    // Curvature at pixel 2 is |400 - 100 - 100| = 200: an edge.
    Line l0({100, 100, 200, 100, 100}, {8, 0, 4, 0, 8}, {0, 0, 0, 0, 0});
    Line out(5, 0);
    ASSERT_EQ(ChromaDenoise1(5, 255, out.data(), l0.data()), 0);
    // Pixels 0 to 2 as in l0; the tail kernels still run on 3 and 4.
    EXPECT_EQ(out.Plane(1), (Plane{8, 0, 4, 1, 6}));
    EXPECT_EQ(out.Plane(0), (Plane{100, 100, 200, 100, 100}));
    EXPECT_EQ(l0.Plane(1), (Plane{8, 0, 4, 0, 8}));
}

TEST(ChromaDenoise1, FlatGreyPassesThroughUnchanged) {
    Line l0(40, 90);
    const Line before = l0;
    Line out(40, 0);
    ASSERT_EQ(ChromaDenoise1(40, 255, out.data(), l0.data()), 0);
    EXPECT_EQ(out, before);
    EXPECT_EQ(l0, before);
}

TEST(ChromaDenoise1, InteriorNoiseIsSmoothedIntoOutAndBack) {
    Line l0(16, 120);
    for (std::size_t i = 0; i < 16; ++i) {
        l0.dr(i) = static_cast<int16_t>(i % 2 == 0 ? 6 : -6);
        l0.db(i) = static_cast<int16_t>(i % 3 == 0 ? 5 : 0);
    }
    const Line before = l0;
    Line out(16, 0);
    ASSERT_EQ(ChromaDenoise1(16, 255, out.data(), l0.data()), 0);
    int changed = 0;
    for (std::size_t i = 2; i < 14; ++i) {
        EXPECT_EQ(out.dr(i), l0.dr(i)) << i;
        EXPECT_EQ(out.db(i), l0.db(i)) << i;
        EXPECT_LE(out.dr(i) < 0 ? -out.dr(i) : out.dr(i), 3) << "noise amplitude shrinks at " << i;
        changed += out.dr(i) != before.dr(i);
    }
    EXPECT_EQ(changed, 12);
    EXPECT_EQ(out.Plane(0), before.Plane(0));
}

TEST(ChromaDenoise1, LuminanceStepLeavesFiveSamplesAndSkipsTwo) {
    // Y steps from 100 to 180 between pixels 5 and 6: the curvature is 80 at
    // pixels 4 and 7, so both are edges; pixels 5, 6, 8 and 9 are skipped.
    Line l0(12, 100);
    for (std::size_t i = 6; i < 12; ++i) {
        l0.y(i) = 180;
    }
    for (std::size_t i = 0; i < 12; ++i) {
        l0.dr(i) = static_cast<int16_t>(i % 2 == 0 ? 8 : 0);
    }
    const Line before = l0;
    Line out(12, 0);
    ASSERT_EQ(ChromaDenoise1(12, 255, out.data(), l0.data()), 0);
    for (std::size_t i = 4; i <= 9; ++i) {
        EXPECT_EQ(out.dr(i), before.dr(i)) << "unfiltered at " << i;
        EXPECT_EQ(l0.dr(i), before.dr(i)) << "nothing written back at " << i;
    }
    EXPECT_NE(out.dr(2), before.dr(2));
    EXPECT_EQ(out.dr(2), l0.dr(2)) << "the copy around the edge carries the filtered value";
    EXPECT_EQ(out.dr(3), l0.dr(3));
}

TEST(ChromaDenoise2, HeadAndTailKernelsRunInTheirOrder) {
    // Flat luminance, one neighbour of zero colour.
    Line l0({100, 100, 100, 100, 100}, {16, 0, 0, 0, 16}, {0, 0, 0, 0, 0});
    Line l1(5, 100);
    Line out(5, 0);
    ASSERT_EQ(ChromaDenoise2(5, 255, out.data(), l0.data(), l1.data()), 0);
    // Pixel 0: 16 >> 2 = 4; pixel 1 sees the new 4: 1; interior: 47 >> 5;
    // the tail filters pixel 4 first (4), then pixel 3 with it (1).
    EXPECT_EQ(out.Plane(1), (Plane{4, 1, 1, 1, 4}));
    EXPECT_EQ(l0.Plane(1), (Plane{4, 1, 1, 1, 4}));
}

TEST(ChromaDenoise2, GateFailsWhenLuminanceDiffersBy23Everywhere) {
    for (int16_t offset : {int16_t{22}, int16_t{23}}) {
        Line l0(20, 100);
        for (std::size_t i = 0; i < 20; ++i) {
            l0.dr(i) = static_cast<int16_t>((i * 7) % 5);
        }
        Line l1 = l0;
        for (std::size_t i = 0; i < 20; ++i) {
            l1.y(i) = static_cast<int16_t>(100 + offset);
        }
        Line alone = l0;
        Line expectedOut(20, 0);
        ASSERT_EQ(ChromaDenoise1(20, 255, expectedOut.data(), alone.data()), 0);

        Line out(20, 0);
        const int16_t result = ChromaDenoise2(20, 255, out.data(), l0.data(), l1.data());
        if (offset == 23) {
            EXPECT_EQ(result, -3) << "4 x 23 = 92 is above 90 at every sampled position";
            EXPECT_EQ(out, expectedOut);
            EXPECT_EQ(l0, alone);
        } else {
            EXPECT_EQ(result, 0) << "4 x 22 = 88 passes";
        }
    }
}

TEST(ChromaDenoise2, FourPixelLineAddsEveryPixelToTheSampledSum) {
    // Pixels 0 and 3 are sampled; the colour differs only at pixels 1 and 2,
    // so the second test sees 2 x d and allows d up to 180.
    for (int16_t d : {int16_t{180}, int16_t{181}}) {
        Line l0(4, 100);
        Line l1(4, 100);
        l1.dr(1) = d;
        l1.dr(2) = d;
        Line out(4, 0);
        const int16_t result = ChromaDenoise2(4, 255, out.data(), l0.data(), l1.data());
        EXPECT_EQ(result, d == 180 ? 0 : -3) << d;
    }
}

TEST(ChromaDenoise2, LongLineGateSamplesEveryElevenPixels) {
    // n = 360: step 360 >> 5 = 11, positions 0, 11, ..., 352 and 359.
    const auto sampled = [](std::size_t i) { return i % 11 == 0 || i == 359; };
    Line l0(360, 100);
    Line between(360, 100);
    Line onSamples(360, 100);
    for (std::size_t i = 0; i < 360; ++i) {
        (sampled(i) ? onSamples : between).y(i) = 140;
    }
    Line out(360, 0);
    EXPECT_EQ(ChromaDenoise2(360, 255, out.data(), l0.data(), between.data()), 0);
    EXPECT_EQ(ChromaDenoise2(360, 255, out.data(), l0.data(), onSamples.data()), -3);
}

TEST(ChromaDenoise2, GateSumWrapsAsASixteenBitRegister) {
    // 34 sampled positions. A difference of 900 each sums to 30600 and fails;
    // 1176 each sums to 39984, which wraps to -25552 and passes.
    for (int16_t colour : {int16_t{500}, int16_t{776}}) {
        Line l0(360, 100);
        Line l1(360, 200);  // 4 x 100 per position
        for (std::size_t i = 0; i < 360; ++i) {
            l1.dr(i) = colour;
        }
        Line out(360, 0);
        const int16_t result = ChromaDenoise2(360, 255, out.data(), l0.data(), l1.data());
        EXPECT_EQ(result, colour == 500 ? -3 : 0) << colour;
    }
}

TEST(ChromaDenoise2, NeighbourColourEdgeBlocksSmoothing) {
    Line l0(9, 100);
    for (std::size_t i = 0; i < 9; ++i) {
        l0.dr(i) = static_cast<int16_t>(i % 2 == 0 ? 10 : 0);
    }
    Line plain = l0;
    Line l1 = l0;
    Line edged = l0;
    edged.dr(5) = 120;  // not a sampled position of the gate
    edged.db(5) = -120;

    Line out(9, 0);
    ASSERT_EQ(ChromaDenoise2(9, 255, out.data(), plain.data(), l1.data()), 0);
    EXPECT_NE(out.dr(4), l0.dr(4)) << "smoothed without the neighbour's edge";

    Line blocked(9, 0);
    Line own = l0;
    ASSERT_EQ(ChromaDenoise2(9, 255, blocked.data(), own.data(), edged.data()), 0);
    for (std::size_t i = 4; i <= 6; ++i) {
        EXPECT_EQ(blocked.dr(i), l0.dr(i)) << i;
        EXPECT_EQ(own.dr(i), l0.dr(i)) << i;
    }
}

TEST(ChromaDenoise3, OneAndTwoPixelLines) {
    Line l0({100}, {10}, {-10});
    Line l1({100}, {-7}, {7});
    Line l2({100}, {3}, {-3});
    Line out(1, 0);
    ASSERT_EQ(ChromaDenoise3(1, 255, out.data(), l0.data(), l1.data(), l2.data()), 0);
    EXPECT_EQ(out.dr(0), 1);   // (30 - 21 + 6) >> 3
    EXPECT_EQ(out.db(0), -2);  // (-15) >> 3
    EXPECT_EQ(l0.dr(0), 10) << "short lines write nothing back";

    Line a({100, 100}, {8, 0}, {0, 0});
    Line b({100, 100}, {4, 4}, {0, 0});
    Line c({100, 100}, {0, 2}, {0, 0});
    Line out2(2, 0);
    ASSERT_EQ(ChromaDenoise3(2, 255, out2.data(), a.data(), b.data(), c.data()), 0);
    EXPECT_EQ(out2.Plane(1), (Plane{3, 3})) << "(3 x 16 + 2 x 2) >> 4 for both pixels";
}

TEST(ChromaDenoise3, ColourGateAllowsTwiceTheMemberTwoDifference) {
    // 100 of luminance difference at every sampled position: member 3 weighs
    // it once (100 <= 180), member 2 four times (400 > 90).
    Line l0(30, 100);
    Line l1(30, 200);
    Line l2(30, 100);
    Line out(30, 0);
    Line copy = l0;
    EXPECT_EQ(ChromaDenoise3(30, 255, out.data(), l0.data(), l1.data(), l2.data()), 0);
    EXPECT_EQ(ChromaDenoise2(30, 255, out.data(), copy.data(), l1.data()), -3);
}

TEST(ChromaDenoise4, HeadUsesTheNewEndValueAndTheTailStartsBesideTheEnd) {
    Line l0({100, 100, 100, 100, 100}, {16, 0, 0, 0, 16}, {0, 0, 0, 0, 0});
    Line l1(5, 100), l2(5, 100), l3(5, 100);
    Line out(5, 0);
    ASSERT_EQ(ChromaDenoise4(5, 255, out.data(), l0.data(), l1.data(), l2.data(), l3.data()), 0);
    // Pixel 0: 80 >> 4 = 5; pixel 1 by the box with the new 5: 0; pixel 3 by
    // the box first: 16 >> 4 = 1; then pixel 4: (80 + 1) >> 4 = 5.
    EXPECT_EQ(out.Plane(1), (Plane{5, 0, 0, 1, 5}));
    EXPECT_EQ(l0.Plane(1), (Plane{5, 0, 0, 1, 5}));
}

TEST(ChromaDenoise4, CountZeroTouchesNothing) {
    Line l0(3, 100), l1(3, 100), l2(3, 100), l3(3, 100);
    Line out(3, -1);
    const Line before = out;
    EXPECT_EQ(ChromaDenoise4(0, 255, out.data(), l0.data(), l1.data(), l2.data(), l3.data()), -2);
    EXPECT_EQ(out, before);
    EXPECT_EQ(ChromaDenoise1(0, 255, out.data(), l0.data()), -2);
    EXPECT_EQ(ChromaDenoise2(0, 255, out.data(), l0.data(), l1.data()), -2);
    EXPECT_EQ(ChromaDenoise3(0, 255, out.data(), l0.data(), l1.data(), l2.data()), -2);
    EXPECT_EQ(
        ChromaDenoise5(0, 255, out.data(), l0.data(), l1.data(), l2.data(), l3.data(), l3.data()),
        -2);
    EXPECT_EQ(out, before);
}

TEST(ChromaDenoise5, OnePixelRoundsNegativeSumsDown) {
    Line l0({100}, {0}, {-3});
    Line l1({100}, {-1}, {-2});
    Line l2({100}, {0}, {-2});
    Line l3({100}, {0}, {-2});
    Line l4({100}, {0}, {-2});
    Line out(1, 0);
    ASSERT_EQ(
        ChromaDenoise5(1, 255, out.data(), l0.data(), l1.data(), l2.data(), l3.data(), l4.data()),
        0);
    EXPECT_EQ(out.dr(0), -1) << "(-1) >> 3";
    EXPECT_EQ(out.db(0), -3) << "(-20) >> 3";
}

TEST(ChromaDenoise5, LongLineKernelsAndReferenceLine) {
    Line l0({100, 100, 100, 100, 100}, {16, 0, 0, 0, 16}, {0, 0, 0, 0, 0});
    Line n1(5, 100), n2(5, 100), n3(5, 100), n4(5, 100);
    Line out(5, 0);
    ASSERT_EQ(
        ChromaDenoise5(5, 255, out.data(), l0.data(), n1.data(), n2.data(), n3.data(), n4.data()),
        0);
    // 48 >> 4 = 3; box with the new 3: 0; interior 41 >> 6 = 0; box at 3:
    // 16 >> 4 = 1; pixel 4: (48 + 1) >> 4 = 3.
    EXPECT_EQ(out.Plane(1), (Plane{3, 0, 0, 1, 3}));

    // The colour tests compare with line 2, not line 1.
    Line base(9, 100);
    for (std::size_t i = 0; i < 9; ++i) {
        base.dr(i) = static_cast<int16_t>(i % 2 == 0 ? 10 : 0);
    }
    Line edged = base;
    edged.dr(5) = 120;
    edged.db(5) = -120;
    Line flat = base;
    for (bool edgeOnLine2 : {false, true}) {
        Line own = base;
        Line result(9, 0);
        const Line& first = edgeOnLine2 ? flat : edged;
        const Line& second = edgeOnLine2 ? edged : flat;
        ASSERT_EQ(ChromaDenoise5(9, 255, result.data(), own.data(), first.data(), second.data(),
                                 flat.data(), flat.data()),
                  0);
        if (edgeOnLine2) {
            EXPECT_EQ(result.dr(4), base.dr(4)) << "blocked by the reference line";
        } else {
            EXPECT_NE(result.dr(4), base.dr(4)) << "line 1 does not block";
        }
    }
}

}  // namespace
}  // namespace voved
