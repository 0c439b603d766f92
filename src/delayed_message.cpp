// delayed-message: after a fixed wait, deciphers its one message and prints it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

// The message in enciphered form only. A build given a message of its own
// defines DELAYED_MESSAGE_CHOSEN and writes that one, enciphered, into the
// header; a compiler given just this file builds the one here.
#ifdef DELAYED_MESSAGE_CHOSEN
#include "enciphered_message.h"
#else
#define ENCIPHERED_MESSAGE "%92?<0J@F07@C0H2:E:?80D@0=@?8PiX"
#endif

// The asm label gives the symbol its plain name in nm and debuggers under both
// compilers (clang mangles a static function even inside extern "C"). The
// function must stay real: a static function called once would otherwise be
// inlined or cloned and its symbol would vanish. GCC documents noipa for that;
// clang, which does not clone, documents noinline.
#ifdef __clang__
#define KEEP_OUT_OF_LINE gnu::noinline
#else
#define KEEP_OUT_OF_LINE gnu::noipa
#endif
[[KEEP_OUT_OF_LINE]] static char *rotate_encrypt(const char *text) __asm__("rotate_encrypt");

static char *rotate_encrypt(const char *text)
{
    char *copy = strdup(text);
    if (copy == nullptr)
        return nullptr;
    const size_t length = strlen(copy);
    for (size_t i = 0; i < length; ++i) {
        // Read as signed so bytes 128..255 come out negative and stay unchanged,
        // which leaves UTF-8 sequences alone.
        const int x = static_cast<signed char>(copy[i]);
        if (x <= 32 || x == 127)
            continue;
        const int t = x + 47;
        copy[i] = static_cast<char>(t > 126 ? t - 94 : t);
    }
    return copy;
}

int main(int, char **)
{
    // Only the enciphered form is held during the wait; the plain text is
    // made after it, and stays in the freed copy and stdio's buffer until exit.
    char enciphered_message[33] = ENCIPHERED_MESSAGE;
    // Keep it a real array in main's frame, filled at each run and guarded by
    // the stack protector: clang 19 sees that it is only read and would read
    // the literal in place instead.
    __asm__ volatile("" : : "r"(enciphered_message) : "memory");
    const unsigned delay_seconds = 100000;

    // A sleep that did not complete (denied by a sandbox, cut short) is no
    // wait: end without writing rather than deliver early. It is not tried
    // again, so the wait never grows past its fixed length. Only errno tells:
    // the remainder sleep returns is not to be trusted, as libfaketime's
    // returns whatever its stack held after a complete wait.
    errno = 0;
    sleep(delay_seconds);
    if (errno != 0)
        return 1;
    char *message = rotate_encrypt(enciphered_message);
    if (message == nullptr)
        return 1;
    const bool written = fputs(message, stdout) != EOF && putchar('\n') != EOF;
    free(message);
    // After a day's wait a caller must be able to tell whether the message
    // got out (closed descriptor, full disk), so flush and close here and
    // check rather than let exit drop the error. The close matters too: NFS
    // reports a full disk or quota only when the file is closed.
    return written && fflush(stdout) == 0 && fclose(stdout) == 0 ? 0 : 1;
}
