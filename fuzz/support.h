// What every fuzz target shares: the fatal routine turned into an exception the target
// can expect, a private scratch folder for readers that take a path, and the memory
// balance check. Linked into each target; the game's own io_error is untouched.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The fatal routine ends the process by design when installation data is damaged. In a
// fuzz target every io_error call lands in fuzz_fatal (the link wraps io_error): a
// message beginning with one of the prefixes passed to fuzz_expect_fatal is thrown as
// FuzzFatal, which the target catches as the designed refusal; any other message is a
// fault and aborts, so the fuzzer keeps the input.
struct FuzzFatal {
    char message[256];
};

// Prefixes of the fatal messages that count as a designed refusal until the next call;
// a null-terminated list, or null for none.
void fuzz_expect_fatal(const char *const *prefixes);

// A folder of its own under $TMPDIR (or /tmp), made once and removed with everything
// in it when the process ends normally.
const std::string &fuzz_dir(void);
// fuzz_dir() + "/" + name.
std::string fuzz_path(const char *name);
// Writes the bytes to the file, replacing it; aborts when it cannot.
void fuzz_write(const std::string &path, const uint8_t *data, size_t size);
// The whole file; aborts when it cannot be read.
std::string fuzz_read(const std::string &path);

// Readers that name files relative to the current folder work inside fuzz_dir()
// between fuzz_enter_dir and fuzz_leave_dir. fuzz_keep_artifacts_here, called from
// LLVMFuzzerInitialize with its arguments, makes libFuzzer write crash inputs to the
// folder it was started in even when a crash happens inside fuzz_dir().
void fuzz_keep_artifacts_here(int *argc, char ***argv);
void fuzz_enter_dir(void);
void fuzz_leave_dir(void);

// Counted blocks held now (io_mem_alloc less io_mem_free).
int32_t fuzz_blocks_held(void);
// Aborts naming `what` when the counted blocks held are not `held` any more.
void fuzz_check_balance(int32_t held, const char *what);
// Aborts with the message: a wrong result the sanitizers cannot see.
[[noreturn]] void fuzz_fail(const char *what);
