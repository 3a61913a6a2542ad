#include "coil/DutyMeter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(DutyMeter, ReportsTheTimeWeightedMeanAndThePeakOfEachFullWindow)
{
    DutyMeter meter(10);
    std::vector<std::pair<double, double>> reports;
    const auto collect = [&](const DutyReport& report) { reports.emplace_back(report.mean, report.peak); };
    meter.add(4, 0.02, collect);
    meter.add(9, 0.05, collect);   // completes the first window with 6 of its samples
    meter.add(0, 0.5, collect);    // held for no sample: not a peak
    meter.add(7, 0.01, collect);   // completes the second
    meter.add(25, 0.03, collect);  // two more windows and half of one
    ASSERT_EQ(reports.size(), 4U);
    EXPECT_NEAR(reports[0].first, 0.038, 1e-12);
    EXPECT_EQ(reports[0].second, 0.05);
    EXPECT_NEAR(reports[1].first, 0.022, 1e-12);
    EXPECT_EQ(reports[1].second, 0.05);
    EXPECT_NEAR(reports[2].first, 0.03, 1e-12);
    EXPECT_NEAR(reports[3].first, 0.03, 1e-12);
    EXPECT_EQ(reports[3].second, 0.03);
}

}  // namespace
