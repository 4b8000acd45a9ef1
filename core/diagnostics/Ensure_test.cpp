// Tests of the ensure reporters, EnsureException and its message stream.
#include "core/diagnostics/Ensure.h"

#include <gtest/gtest.h>

#include "tests/support/EnsureTesting.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace Quorvin::EnsurePrivate {
namespace {

using Testing::DiedOfAccessViolation;

void PrintingFatalHandler(const char* message, const char* condition, const char* location, int32_t number) {
    std::fprintf(stderr, "[length=%zu message=%.40s condition=%s location=<%s> number=%d]\n",
                 std::strlen(message), message, condition, location, number);
    std::fflush(stderr);
}

TEST(EnsureDeathTest, FailFatalCallsTheHandlerThenFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetFatalHandler(&PrintingFatalHandler);
            FailFatal(0, "ptr == nullptr");
        },
        DiedOfAccessViolation, R"(\[length=0 message= condition=ptr == nullptr location=<> number=0\])");

    EXPECT_EXIT(
        {
            SetFatalHandler(&PrintingFatalHandler);
            FailFatal(3, "size > 0", "bad size %d of %s", 7, "frame");
        },
        DiedOfAccessViolation, R"(\[length=19 message=bad size 7 of frame condition=size > 0)");

    // The format is the condition's own pointer: it is not expanded, whatever it holds.
    EXPECT_EXIT(
        {
            SetFatalHandler(&PrintingFatalHandler);
            static const char condition[] = "%s%s%n";
            FailFatal(1, condition, condition);
        },
        DiedOfAccessViolation, R"(\[length=0 message= condition=%s%s%n)");

    // No handler: straight to the fault.
    EXPECT_EXIT(
        {
            SetFatalHandler(nullptr);
            FailFatal(0, "Unexpected");
        },
        DiedOfAccessViolation, "");
}

TEST(EnsureDeathTest, FailFatalCutsLongMessages) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    static std::string exact;
    static std::string longer;
    exact.assign(FatalMessageCapacity - 1, 'x');
    longer.assign(FatalMessageCapacity + 100, 'y');
    EXPECT_EXIT(
        {
            SetFatalHandler(&PrintingFatalHandler);
            FailFatal(2, "c", "%s", exact.c_str());
        },
        DiedOfAccessViolation, R"(\[length=204799 message=xxxx)");
    EXPECT_EXIT(
        {
            SetFatalHandler(&PrintingFatalHandler);
            FailFatal(2, "c", "%s", longer.c_str());
        },
        DiedOfAccessViolation, R"(\[length=204799 message=yyyy)");
}

struct ReportCall {
    int calls = 0;
    std::string message, origin, condition;
    int32_t number = 0;
};
ReportCall LastReport;

void RecordingReportHandler(const char* message, const char* origin, const char* condition, int32_t number) {
    ++LastReport.calls;
    LastReport.message = message;
    LastReport.origin = origin;
    LastReport.condition = condition;
    LastReport.number = number;
}

TEST(Ensure, ReportCheckFormatsHandsOnAndReturns) {
    LastReport = {};
    SetReportHandler(&RecordingReportHandler);

    ReportCheck(0, "Renderer", "count < 8", -5);
    EXPECT_EQ(LastReport.calls, 1);
    EXPECT_EQ(LastReport.message, "");
    EXPECT_EQ(LastReport.origin, "Renderer");
    EXPECT_EQ(LastReport.condition, "count < 8");
    EXPECT_EQ(LastReport.number, -5);

    ReportCheck(2, "o", "c", 1, "value %d", 42);
    EXPECT_EQ(LastReport.message, "value 42");

    static const char condition[] = "%d%d%d";
    ReportCheck(1, "o", condition, 0, condition);
    EXPECT_EQ(LastReport.message, "");

    const std::string exact(ReportMessageCapacity - 1, 'a');
    ReportCheck(2, "o", "c", 0, "%s", exact.c_str());
    EXPECT_EQ(LastReport.message, exact);
    const std::string longer(5000, 'b');
    ReportCheck(2, "o", "c", 0, "%s", longer.c_str());
    EXPECT_EQ(LastReport.message, std::string(1023, 'b'));

    ReportCheck(1, "o", "c", 0, static_cast<const char*>(nullptr));
    EXPECT_EQ(LastReport.message, "");

    // Without a handler the report returns and nothing is called.
    SetReportHandler(nullptr);
    const int callsBefore = LastReport.calls;
    ReportCheck(2, "o", "c", 0, "%s", "ignored");
    EXPECT_EQ(LastReport.calls, callsBefore);
}

TEST(EnsureStream, HeaderHoldsConditionLocationAndHeading) {
    Stream stream("ptr == nullptr", "f", 0);
    EXPECT_EQ(stream.text.str(), "ensure failed : ptr == nullptr\nf(0)\ncontext variables:\n");
    EXPECT_EQ(stream.owner, nullptr);

    Stream negative("x", "engine/core.cpp", -12);
    EXPECT_EQ(negative.text.str(), "ensure failed : x\nengine/core.cpp(-12)\ncontext variables:\n");
}

TEST(EnsureStream, LinkedExceptionTakesTheStreamTextOnFirstMove) {
    EnsureException exception;
    EXPECT_STREQ(exception.what(), "");
    EXPECT_EQ(exception.code, 0);

    Stream stream("a < b", "main.cpp", 17);
    EnsureException& linked = Link(exception, stream);
    EXPECT_EQ(&linked, &exception);
    EXPECT_EQ(exception.stream, &stream);
    EXPECT_EQ(stream.owner, &exception);

    ErrorRecord error{nullptr, "file not found"};
    EXPECT_EQ(&stream.AddError(error), &exception);
    exception.code = 77;

    EnsureException moved(std::move(exception));
    const std::string expected =
        "ensure failed : a < b\nmain.cpp(17)\ncontext variables:\n\terror : file not found\n";
    EXPECT_EQ(moved.message, expected);
    EXPECT_STREQ(moved.what(), expected.c_str());
    EXPECT_EQ(moved.code, 77);
    EXPECT_EQ(moved.stream, nullptr);
    EXPECT_EQ(exception.stream, nullptr);
    EXPECT_EQ(stream.text.str(), expected);  // the stream itself is left as it was

    // A second move copies the message; the stream no longer matters.
    stream.AddError(error);
    EnsureException again(std::move(moved));
    EXPECT_EQ(again.message, expected);
    EXPECT_EQ(again.code, 77);
}

TEST(EnsureStream, ResetEmptiesTheTextAndClearsTheState) {
    EnsureException exception;
    Stream stream("c", "f", 1);
    Link(exception, stream);
    stream.text.setstate(std::ios_base::failbit);
    EXPECT_EQ(&stream.Reset(), &exception);
    EXPECT_EQ(stream.text.str(), "");
    EXPECT_TRUE(stream.text.good());
    EXPECT_EQ(&stream.AddError(ErrorRecord{nullptr, "late"}), &exception);
    EXPECT_EQ(stream.text.str(), "\terror : late\n");
}

}  // namespace
}  // namespace Quorvin::EnsurePrivate
