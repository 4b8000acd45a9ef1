// Tests of the ensure reporters, EnsureException and its message stream.
#include "core/diagnostics/Ensure.h"

#include <gtest/gtest.h>

#include "tests/support/AllocationFailure.h"
#include "tests/support/EnsureTesting.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
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

// Long enough that a copy of the message could not live inside a string object.
constexpr char LongFormat[] = "a message far too long for any small-string buffer: %d %s";

void ThrowingFatalHandler(const char* message, const char*, const char*, int32_t) {
    std::fprintf(stderr, "[handler ran: %s]\n", message);
    std::fflush(stderr);
    throw std::runtime_error("thrown by the handler");
}

TEST(EnsureDeathTest, FailFatalFaultsWhateverTheHeapAndTheHandlerDo) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Every allocation fails: the message still reaches the handler and the check still faults.
    EXPECT_EXIT(
        {
            SetFatalHandler(&PrintingFatalHandler);
            Testing::ScopedAllocationFailure noHeap;
            FailFatal(3, "heap gone", LongFormat, 7, "frames");
        },
        DiedOfAccessViolation, R"(\[length=60 message=a message far too long for any small-str)");
    // A handler that throws does not carry the caller past the broken invariant.
    EXPECT_EXIT(
        {
            SetFatalHandler(&ThrowingFatalHandler);
            try {
                FailFatal(0, "handler throws");
            } catch (...) {
                std::exit(9);
            }
        },
        DiedOfAccessViolation, R"(\[handler ran: \])");
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

void ThrowingReportHandler(const char* message, const char* origin, const char* condition, int32_t number) {
    RecordingReportHandler(message, origin, condition, number);
    throw std::runtime_error("thrown by the handler");
}

char CopiedMessage[ReportMessageCapacity];

void CopyingReportHandler(const char* message, const char*, const char*, int32_t) {
    std::snprintf(CopiedMessage, sizeof CopiedMessage, "%s", message);
}

TEST(Ensure, ReportCheckNeverThrows) {
    SetReportHandler(&CopyingReportHandler);
    unsigned long refused = 0;
    {
        Testing::ScopedAllocationFailure noHeap;
        const unsigned long before = Testing::RefusedAllocations();
        ReportCheck(3, "o", "c", 4, LongFormat, 1, "x");
        refused = Testing::RefusedAllocations() - before;
    }
    EXPECT_EQ(refused, 0u);  // the reporter asked the heap for nothing
    EXPECT_STREQ(CopiedMessage, "a message far too long for any small-string buffer: 1 x");

    LastReport = {};
    SetReportHandler(&ThrowingReportHandler);
    EXPECT_NO_THROW(ReportCheck(0, "o", "thrown", 0));
    EXPECT_EQ(LastReport.condition, "thrown");
    SetReportHandler(nullptr);
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

TEST(EnsureStream, ResetOnADetachedBufferReportsTheBadState) {
    EnsureException exception;
    Stream stream("c", "f", 1);
    Link(exception, stream);
    std::ios& base = stream.text;
    std::streambuf* const buffer = base.rdbuf();

    base.rdbuf(nullptr);  // without an exception mask the state just turns bad
    EXPECT_EQ(&stream.Reset(), &exception);
    EXPECT_TRUE(stream.text.bad());

    // The run time complains at once about the state it finds when the mask is set; then Reset
    // reports the bad state in the standard words.
    EXPECT_THROW(base.exceptions(std::ios::badbit), std::ios_base::failure);
    try {
        stream.Reset();
        ADD_FAILURE() << "Reset on a detached buffer did not throw";
    } catch (const std::ios_base::failure& failure) {
        EXPECT_STREQ(failure.what(), "ios_base::badbit set");
    }

    base.exceptions(std::ios::goodbit);
    base.rdbuf(buffer);
    EXPECT_EQ(&stream.Reset(), &exception);
    EXPECT_TRUE(stream.text.good());
}

}  // namespace
}  // namespace Quorvin::EnsurePrivate
