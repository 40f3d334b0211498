// corvidel-jetread-hostile IN OUT [--cpu SECONDS]: stands in for the Jet reader as a file that took it over
// would. It sets up like the reader, confines itself with the reader's own code, then does what the first
// word of IN says: "open" a file, "connect" a socket, "exec" a program, or "none". Whatever it was allowed
// to do, it then writes "escaped" to OUT and succeeds.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "tools/JetSandbox.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    char word[16] = {};
    if (FILE* in = std::fopen(argv[1], "rb")) {
        if (std::fscanf(in, "%15s", word) != 1) word[0] = '\0';
        std::fclose(in);
    }
    int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) return 2;
    try {
        if (corv::JetSandboxWanted()) corv::ConfineJetReader();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvidel-jetread: %s: %s\n", argv[1], e.what());
        return 1;
    }
    const std::string what = word;
    if (what == "open") {
        ::open("/etc/hostname", O_RDONLY);
    } else if (what == "connect") {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(9);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    } else if (what == "exec") {
        // Let loose, the program it starts does the writing.
        char* args[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                        const_cast<char*>("printf escaped > \"$0\""), argv[2], nullptr};
        ::execv("/bin/sh", args);
    }
    const char escaped[] = "escaped";
    return ::write(out, escaped, sizeof escaped - 1) == sizeof escaped - 1 ? 0 : 1;
}
