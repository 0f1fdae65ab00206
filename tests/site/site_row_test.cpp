// One row of a site on a simulated collector: only the set commands whose values differ from
// what the collector holds are written.
#include <gtest/gtest.h>

#include "CollectorValues.h"
#include "SimulatedCollector.h"
#include "site/Commission.h"

namespace {

TEST(SiteRow, WritesOnlyWhatDiffersLeavingEqualCounterBases) {
    const kvproto::CollectorSettings held = kvtest::settingsToSend(false);  // counter bases too
    const auto collector = kvtest::collectorHolding(held);
    kvsite::PlanRow row;
    row.port = collector->slavePath();
    row.planned = held;
    ASSERT_FALSE(row.planned.set("ad1.urv", "30"));
    kvclient::Client client;
    ASSERT_FALSE(client.open(row.port));
    const kvsite::RowOutcome outcome =
        kvsite::commissionRow(client, row, kvclient::Client::kDefaultTimeout);
    EXPECT_EQ(kvsite::resultWords(outcome), "ok");
    EXPECT_EQ(outcome.result.written, 1u);
    ASSERT_EQ(outcome.result.answers.size(), 1u);
    EXPECT_EQ(outcome.result.answers[0].command,
              &kvproto::setCommandFor(*kvproto::findParameter("ad1.urv")));
    EXPECT_EQ(collector->state().text("ad1.urv"), "000030");
    EXPECT_EQ(outcome.before.get("pin1.base"), outcome.after.get("pin1.base"));
}

}  // namespace
