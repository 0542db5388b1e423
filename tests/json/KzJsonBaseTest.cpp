#include "KzJsonBase.h"
#include "TraceMatcher.h"

#include <gtest/gtest.h>

namespace {

TEST(KzJsonBase, RecordsLinkInCallOrder)
{
    KzJsonBase base;
    EXPECT_EQ(base.errorTrace(), nullptr);
    base.addErrorWithCode(KzJSONErrorSyntax, "first");
    base.addErrorWithCode(KzJSONErrorDepth, "second");
    EXPECT_EQ(recordsOf(base.errorTrace()), (ExpectedTrace{{3, "first"}, {7, "second"}}));
    EXPECT_EQ(base.errorTrace()->back()->underlying()->description(), "first");
    EXPECT_EQ(base.errorTrace()->front()->underlying(), nullptr);
}

TEST(KzJsonBase, ClearingReplacesTheListAndRestartsTheLinks)
{
    KzJsonBase base;
    base.addErrorWithCode(KzJSONErrorSyntax, "before");
    const KzJsonErrorTrace obtained = base.errorTrace();
    base.clearErrorTrace();
    EXPECT_EQ(base.errorTrace(), nullptr);
    base.addErrorWithCode(KzJSONErrorNumber, "after");
    EXPECT_EQ(recordsOf(base.errorTrace()), (ExpectedTrace{{2, "after"}}));
    EXPECT_EQ(base.errorTrace()->front()->underlying(), nullptr);
    EXPECT_EQ(recordsOf(obtained), (ExpectedTrace{{3, "before"}}));
}

TEST(KzJsonBase, ObtainedListDoesNotGrowWithLaterRecords)
{
    KzJsonBase base;
    base.addErrorWithCode(KzJSONErrorSyntax, "one");
    const KzJsonErrorTrace obtained = base.errorTrace();
    base.addErrorWithCode(KzJSONErrorSyntax, "two");
    EXPECT_EQ(obtained->size(), 1u);
    EXPECT_EQ(recordsOf(base.errorTrace()), (ExpectedTrace{{3, "one"}, {3, "two"}}));
}

TEST(KzJsonBase, MaxDepthDefaultsTo512AndKeepsWhatIsSet)
{
    KzJsonBase base;
    EXPECT_EQ(base.maxDepth(), 512u);
    base.setMaxDepth(0);
    EXPECT_EQ(base.maxDepth(), 0u);
}

} // namespace
