// Reaches the file-scope cipher by compiling the program's source in here. main is renamed; sleep,
// strdup and fclose are routed to stand-ins that fail waits and allocations at will, and keep
// stdout open.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <gtest/gtest.h>

static bool fail_allocation = false;
static unsigned sleep_remainder = 0;
static int sleep_error = 0;

static char *test_strdup(const char *text)
{
    return fail_allocation ? nullptr : strdup(text);
}

// As a real sleep does, errno is written only on failure.
static unsigned test_sleep(unsigned)
{
    if (sleep_error != 0)
        errno = sleep_error;
    return sleep_remainder;
}

static int test_fclose(FILE *stream)
{
    return fflush(stream);
}

#define main delayed_message_main
#define strdup test_strdup
#define sleep test_sleep
#define fclose test_fclose
#include "delayed_message.cpp"
#undef main
#undef strdup
#undef sleep
#undef fclose

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

// sleep reports a failure in errno; its remainder is not to be trusted.
TEST(delayed_message, delivers_after_a_complete_wait_and_else_writes_nothing)
{
    const std::string message = std::string(rotated(ENCIPHERED_MESSAGE).text) + "\n";
    const struct {
        const char *what;
        unsigned remainder;
        int error;
        bool no_memory;
        int status;
    } cases[] = {
        {"a complete wait, with libfaketime's remainder", 3661529851u, 0, false, 0},
        {"sleep denied, as glibc reports it", 100000, EPERM, false, 1},
        {"sleep interrupted, as libfaketime reports it", 0, EINTR, false, 1},
        {"no memory for the copy", 0, 0, true, 1},
    };
    for (const auto &c : cases) {
        sleep_remainder = c.remainder;
        sleep_error = c.error;
        fail_allocation = c.no_memory;
        // Left set by the start-up, as a preloaded library may leave it.
        errno = ENOENT;
        testing::internal::CaptureStdout();
        EXPECT_EQ(delayed_message_main(0, nullptr), c.status) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.status == 0 ? message : "") << c.what;
    }
    EXPECT_EQ(rotated("abc").text, nullptr);
    fail_allocation = false;
}

} // namespace
