#include "tools/JetSandbox.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace corv {

namespace {

[[noreturn]] void Refused(const char* what, int rc) {
    throw std::runtime_error(std::string("cannot confine the reader (") + what + ": " + std::strerror(-rc) +
                             "); set " + kJetReaderNoSandboxVar + "=1 to read without confinement");
}

class Filter {
  public:
    Filter() : ctx_(seccomp_init(SCMP_ACT_KILL_PROCESS)) {
        if (!ctx_) Refused("seccomp_init", -ENOMEM);
    }
    ~Filter() { seccomp_release(ctx_); }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    template <typename... Cmp>
    void Add(std::uint32_t action, int syscall, Cmp... cmp) {
        int rc = seccomp_rule_add(ctx_, action, syscall, sizeof...(cmp), cmp...);
        if (rc < 0) Refused(seccomp_syscall_resolve_num_arch(SCMP_ARCH_NATIVE, syscall), rc);
    }
    void Load() {
        if (int rc = seccomp_load(ctx_); rc < 0) Refused("seccomp_load", rc);
    }

  private:
    scmp_filter_ctx ctx_;
};

}  // namespace

bool JetSandboxWanted() {
    const char* off = std::getenv(kJetReaderNoSandboxVar);
    return !(off && std::strcmp(off, "1") == 0);
}

void ConfineJetReader() {
    // libseccomp would set it too; set here so it holds whatever that library's defaults become.
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) Refused("PR_SET_NO_NEW_PRIVS", -errno);

    Filter f;
    const std::uint32_t allow = SCMP_ACT_ALLOW;
    // The descriptors already open: the Jet file (read, lseek, fstat for its size on every page), the
    // output and stdout/stderr (write).
    for (int sc : {SCMP_SYS(read), SCMP_SYS(write), SCMP_SYS(lseek), SCMP_SYS(fstat), SCMP_SYS(close)})
        f.Add(allow, sc);
    // glibc's fstat is newfstatat(fd, "", AT_EMPTY_PATH). Other uses of newfstatat are refused; one with
    // that flag and a name could still see a file's size and dates, never its contents.
    f.Add(allow, SCMP_SYS(newfstatat), SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    // malloc's own calls (mremap: realloc of a large block), never for executable memory.
    for (int sc : {SCMP_SYS(brk), SCMP_SYS(munmap), SCMP_SYS(mremap)}) f.Add(allow, sc);
    f.Add(allow, SCMP_SYS(mmap), SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    // stdio asks whether stdout is a terminal before it buffers: it is not.
    f.Add(SCMP_ACT_ERRNO(ENOTTY), SCMP_SYS(ioctl));
    // The first exception thrown completes a one-time initialisation in the unwinder with a wake-up. Private
    // futexes act on this process's own memory only.
    f.Add(allow, SCMP_SYS(futex), SCMP_A1(SCMP_CMP_MASKED_EQ, FUTEX_PRIVATE_FLAG, FUTEX_PRIVATE_FLAG));
    for (int sc : {SCMP_SYS(exit), SCMP_SYS(exit_group), SCMP_SYS(rt_sigreturn)}) f.Add(allow, sc);
    f.Load();
}

}  // namespace corv
