// Reaches the file-scope cipher by compiling the program's source in here.
// main is renamed; sleep and strdup are routed to stand-ins so that the
// allocation-failure path can be driven without waiting.
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <gtest/gtest.h>

static bool fail_allocation = false;
static char *test_strdup(const char *text) { return fail_allocation ? nullptr : strdup(text); }
static unsigned test_sleep(unsigned) { return 0; }

#define main delayed_message_main
#define strdup test_strdup
#define sleep test_sleep
#include "delayed_message.cpp"
#undef main
#undef strdup
#undef sleep

namespace {

// Owns a result so a failed assertion does not leak it.
struct rotated {
    char *text;
    explicit rotated(const char *input) : text(rotate_encrypt(input)) {}
    ~rotated() { free(text); }
};

TEST(rotate_encrypt, maps_known_pairs_both_ways)
{
    const char *pairs[][2] = {{"abc", "234"}, {"!", "P"}, {"O", "~"}, {"", ""}};
    for (const auto &pair : pairs) {
        EXPECT_STREQ(rotated(pair[0]).text, pair[1]);
        EXPECT_STREQ(rotated(pair[1]).text, pair[0]);
    }
}

TEST(rotate_encrypt, rotates_exactly_printables_and_inverts_itself)
{
    char all[256];
    for (int b = 1; b <= 255; ++b)
        all[b - 1] = static_cast<char>(b);
    all[255] = '\0';
    const char *before = strdup(all);

    rotated once(all);
    ASSERT_NE(once.text, nullptr);
    ASSERT_NE(once.text, all);
    EXPECT_EQ(memcmp(all, before, sizeof all), 0) << "input was modified";
    for (int b = 1; b <= 255; ++b) {
        const int got = static_cast<unsigned char>(once.text[b - 1]);
        const int want = b < 33 || b > 126 ? b : 33 + (b - 33 + 47) % 94;
        EXPECT_EQ(got, want) << "byte " << b;
    }
    EXPECT_EQ(once.text[255], '\0');
    EXPECT_STREQ(rotated(once.text).text, all);
    free(const_cast<char *>(before));
}

TEST(delayed_message, reports_failure_and_writes_nothing_without_memory)
{
    fail_allocation = true;
    EXPECT_EQ(rotated("abc").text, nullptr);
    testing::internal::CaptureStdout();
    const int status = delayed_message_main(0, nullptr);
    const std::string written = testing::internal::GetCapturedStdout();
    fail_allocation = false;
    EXPECT_EQ(status, 1);
    EXPECT_EQ(written, "");
}

} // namespace
