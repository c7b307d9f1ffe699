// mkpst: writes synthetic PST mailboxes (benchmarks, robustness runs) and the demo mailbox.
#include "tools/mkpst/DemoMailbox.h"
#include "tools/mkpst/SyntheticMailbox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

namespace {

void Usage()
{
    std::fputs(
        "usage: mkpst [options] OUT.pst\n"
        "       mkpst --demo OUT.pst\n"
        "  --messages N           mails spread over the folders (default 1000)\n"
        "  --folders F            mail folders below the top folder (default 10)\n"
        "  --depth D              deepest folder level (default 3)\n"
        "  --attachment-ratio R   share of mails with attachments, 0..1 (default 0.2)\n"
        "  --attachment-size B    mean attachment size in bytes (default 49152)\n"
        "  --large-attachment B   one more mail in Inbox with an attachment of B bytes\n"
        "  --embedded-ratio R     share of mails carrying an embedded message (default 0.02)\n"
        "  --contacts N           contacts in a \"Contacts\" folder (default 0)\n"
        "  --appointments N       appointments in a \"Calendar\" folder (default 0)\n"
        "  --big-folder N         an extra folder with N mails (default 0)\n"
        "  --deleted N            N more mails, written to the mail folders and deleted (default 0)\n"
        "  --seed S               random seed; same arguments, same bytes (default 1)\n"
        "  --encoding none|compressible   block encoding (default compressible)\n"
        "  --ost                  mark the file as an offline cache (OST, content type \"SO\")\n",
        stderr);
}

bool ParseNumber(const char* text, uint64_t& out)
{
    char* end = nullptr;
    out = std::strtoull(text, &end, 10);
    return end && *end == '\0' && *text != '\0';
}

bool ParseRatio(const char* text, double& out)
{
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end && *end == '\0' && out >= 0.0 && out <= 1.0;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace tolvane::mkpst;
    SyntheticOptions options;
    bool demo = false;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        uint64_t n = 0;
        bool ok = true;
        if (arg == "--demo") {
            demo = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else if (arg == "--messages") {
            const char* v = value();
            ok = v && ParseNumber(v, options.messages);
        } else if (arg == "--folders" || arg == "--depth") {
            const char* v = value();
            ok = v && ParseNumber(v, n) && n >= 1 && n <= 100000;
            (arg == "--folders" ? options.folders : options.depth) = uint32_t(n);
        } else if (arg == "--attachment-ratio") {
            const char* v = value();
            ok = v && ParseRatio(v, options.attachmentRatio);
        } else if (arg == "--embedded-ratio") {
            const char* v = value();
            ok = v && ParseRatio(v, options.embeddedRatio);
        } else if (arg == "--attachment-size") {
            const char* v = value();
            ok = v && ParseNumber(v, options.attachmentMeanBytes) && options.attachmentMeanBytes <= (256u << 20);
        } else if (arg == "--contacts") {
            const char* v = value();
            ok = v && ParseNumber(v, options.contacts);
        } else if (arg == "--appointments") {
            const char* v = value();
            ok = v && ParseNumber(v, options.appointments);
        } else if (arg == "--large-attachment") {
            const char* v = value();
            ok = v && ParseNumber(v, options.largeAttachmentBytes) && options.largeAttachmentBytes <= (1ull << 31);
        } else if (arg == "--big-folder") {
            const char* v = value();
            ok = v && ParseNumber(v, options.bigFolderMessages);
        } else if (arg == "--deleted") {
            const char* v = value();
            ok = v && ParseNumber(v, options.deletedMessages);
        } else if (arg == "--seed") {
            const char* v = value();
            ok = v && ParseNumber(v, options.seed);
        } else if (arg == "--ost") {
            options.contentType = tolvane::pstwriter::ContentType::OfflineCache;
        } else if (arg == "--encoding") {
            const char* v = value();
            ok = v && (std::strcmp(v, "none") == 0 || std::strcmp(v, "compressible") == 0);
            if (ok)
                options.encoding = std::strcmp(v, "none") == 0 ? tolvane::pstwriter::BlockEncoding::None
                                                              : tolvane::pstwriter::BlockEncoding::Compressible;
        } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
            out = arg;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "mkpst: bad argument: %s\n", arg.c_str());
            Usage();
            return 2;
        }
    }
    if (out.empty()) {
        Usage();
        return 2;
    }
    try {
        if (demo) {
            WriteDemoMailbox(out);
            return 0;
        }
        const SyntheticSummary s = WriteSyntheticMailbox(out, options);
        std::printf("folders %llu mails %llu contacts %llu appointments %llu attachments %llu embedded %llu bytes %llu deleted %llu\n",
                    (unsigned long long)s.folders, (unsigned long long)s.mails, (unsigned long long)s.contacts,
                    (unsigned long long)s.appointments, (unsigned long long)s.attachments,
                    (unsigned long long)s.embeddedMessages, (unsigned long long)std::filesystem::file_size(out),
                    (unsigned long long)s.deletedMails);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkpst: %s\n", e.what());
        std::error_code ignored;
        std::filesystem::remove(out, ignored);
        return 1;
    }
}
