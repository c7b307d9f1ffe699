// Folder plan first (sizes only), then folder by folder: make an item, write it, forget it.
#include "tools/mkpst/SyntheticMailbox.h"

#include "pstwriter/MailboxWriter.h"
#include "pstwriter/PropertyTags.h"

#include <array>
#include <vector>

namespace tolvane::mkpst {
namespace {

using namespace pstwriter;

// splitmix64: small, fast and identical on every platform, unlike the standard distributions.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint64_t below(uint64_t n) { return n ? next() % n : 0; }
    bool chance(double p) { return double(next() >> 11) / double(1ull << 53) < p; }
    template <typename T, size_t N>
    const T& pick(const std::array<T, N>& items) { return items[below(N)]; }
    void fill(Bytes& out, size_t size)
    {
        out.resize(size);
        size_t i = 0;
        for (; i + 8 <= size; i += 8)
            SetU64(out.data() + i, next());
        for (; i < size; ++i)
            out[i] = uint8_t(next());
    }

private:
    uint64_t state_;
};

const std::array<const char*, 16> givenNames = {"Anna", "Björn", "Chloé", "Dmitri", "Eva", "François", "Grete",
                                                "Hiroshi", "Ingrid", "José", "Katarzyna", "Lars", "Małgorzata",
                                                "Nils", "Øystein", "Zoë"};
const std::array<const char*, 12> surnames = {"Andersen", "Berg", "Čapek", "Dahl", "Eriksson", "Fischer",
                                              "García", "Håkansson", "Ivanova", "Jönsson", "Kowalski", "Lindqvist"};
const std::array<const char*, 24> words = {
    "budget", "review", "meeting", "quarterly", "report", "draft", "invoice", "schedule", "Grüße", "naïve",
    "update", "project", "résumé", "plan", "Angebot", "погода", "会議", "status", "travel", "contract",
    "minutes", "launch", "feedback", "Ålesund"};
const std::array<const char*, 8> folderWords = {"Projects", "Archive", "Clients", "Reports", "Travel", "Kunden",
                                                "Året 2026", "Notizen"};
const std::array<const char*, 6> extensions = {".pdf", ".docx", ".xlsx", ".png", ".zip", ".txt"};
const std::array<const char*, 6> mimeTypes = {"application/pdf",
                                              "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
                                              "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
                                              "image/png", "application/zip", "text/plain"};

constexpr int64_t baseTime = 1735689600;  // 2025-01-01

std::string Sentence(Random& random, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += random.pick(words);
    }
    return out;
}

std::string Text(Random& random, size_t size)
{
    std::string out;
    out.reserve(size + 16);
    while (out.size() < size) {
        out += Sentence(random, 8 + int(random.below(8)));
        out += random.chance(0.2) ? ".\r\n\r\n" : ". ";
    }
    return out;
}

size_t BodySize(Random& random)
{
    const uint64_t roll = random.below(100);
    if (roll < 70)
        return 200 + random.below(1800);
    if (roll < 95)
        return 2000 + random.below(18000);
    return 50000 + random.below(150000);
}

std::string Person(Random& random, std::string* email)
{
    const std::string given = random.pick(givenNames);
    const std::string surname = random.pick(surnames);
    *email = "user" + std::to_string(random.below(500)) + "@example.com";
    return given + " " + surname;
}

struct Counters {
    SyntheticSummary* summary;
    const SyntheticOptions* options;
};

Message MakeMail(Random& random, const Counters& counters, uint64_t number, bool allowEmbedded)
{
    Message mail("IPM.Note");
    const std::string subject = Sentence(random, 3 + int(random.below(5))) + " #" + std::to_string(number);
    std::string fromEmail, toEmail;
    const std::string fromName = Person(random, &fromEmail);
    const FileTime sent = FileTime::fromUnixSeconds(baseTime + int64_t(random.below(365 * 86400)));
    mail.subject(subject).from(fromName, fromEmail).sent(sent).received(FileTime{sent.value + 600000000ull});
    const int recipients = 1 + int(random.below(3));
    for (int r = 0; r < recipients; ++r) {
        const std::string toName = Person(random, &toEmail);
        mail.recipient(r == 0 ? tags::RecipientTo : tags::RecipientCc, toName, toEmail);
    }
    mail.flags(random.chance(0.7) ? tags::FlagRead : 0);
    const std::string text = Text(random, BodySize(random));
    mail.body(text);
    const uint64_t format = random.below(10);
    if (format < 7)
        mail.htmlBody("<html><body><p>" + text + "</p></body></html>");
    else if (format < 9)
        mail.rtfBody("{\\rtf1\\ansi\\ansicpg1252 " + text.substr(0, 4000) + "}");
    mail.transportHeaders("From: " + fromEmail + "\r\nTo: " + toEmail + "\r\nSubject: " + subject +
                          "\r\nMessage-ID: <" + std::to_string(number) + "@synthetic.example>\r\n");
    mail.messageId("<" + std::to_string(number) + "@synthetic.example>");

    if (random.chance(counters.options->attachmentRatio)) {
        const int count = 1 + int(random.below(3));
        for (int a = 0; a < count; ++a) {
            // Mostly small files, a few large ones, the mean close to the requested one.
            const uint64_t mean = counters.options->attachmentMeanBytes;
            const uint64_t size = random.chance(0.1) ? mean * 4 + random.below(mean * 2) : random.below(mean);
            Bytes data;
            random.fill(data, size_t(size));
            const size_t kind = random.below(extensions.size());
            mail.attach("file" + std::to_string(a) + "-" + random.pick(words) + extensions[kind], std::move(data),
                        mimeTypes[kind]);
            ++counters.summary->attachments;
        }
    }
    if (allowEmbedded && random.chance(counters.options->embeddedRatio)) {
        Message inner = MakeMail(random, counters, number * 1000 + 1, false);
        mail.embed(std::move(inner));
        ++counters.summary->attachments;
        ++counters.summary->embeddedMessages;
    }
    return mail;
}

Message MakeContact(Random& random, uint64_t number)
{
    Message contact("IPM.Contact");
    const std::string given = random.pick(givenNames);
    const std::string surname = random.pick(surnames);
    contact.contactNames(given, surname)
        .fileUnder(surname + ", " + given)
        .email1("contact" + std::to_string(number) + "@example.com", given + " " + surname)
        .property(tags::BusinessTelephone, "+47 22 " + std::to_string(100000 + random.below(899999)))
        .property(tags::CompanyName, std::string_view(random.pick(surnames)));
    return contact;
}

Message MakeAppointment(Random& random, uint64_t number)
{
    Message appointment("IPM.Appointment");
    const int64_t start = baseTime + int64_t(random.below(365)) * 86400 + 9 * 3600;
    appointment.subject(Sentence(random, 3) + " " + std::to_string(number))
        .appointment(FileTime::fromUnixSeconds(start), FileTime::fromUnixSeconds(start + 3600),
                     "Room " + std::to_string(1 + random.below(20)))
        .body(Text(random, 300));
    if (random.chance(0.2))
        appointment.recurrencePattern("every week on Monday");
    return appointment;
}

} // namespace

SyntheticSummary WriteSyntheticMailbox(const std::string& path, const SyntheticOptions& options)
{
    SyntheticSummary summary;
    Counters counters{&summary, &options};
    Random random(options.seed);
    MailboxWriter writer(path, MailboxOptions{options.encoding, "Personal Folders", options.contentType});
    const uint32_t top = writer.topOfPersonalFolders();

    const uint32_t deleted = writer.AddFolder(top, FolderDefinition{"Deleted Items", "IPF.Note", {}});
    writer.setDeletedItemsFolder(deleted);
    struct PlannedFolder {
        uint32_t nid;
        uint32_t depth;
        uint64_t mails = 0;
        uint64_t deleted = 0;
    };
    std::vector<PlannedFolder> mailFolders;
    mailFolders.push_back({writer.AddFolder(top, FolderDefinition{"Inbox", "IPF.Note", {}}), 1});
    mailFolders.push_back({writer.AddFolder(top, FolderDefinition{"Sent Items", "IPF.Note", {}}), 1});
    writer.setStoreFolder(StoreRole::Inbox, mailFolders[0].nid);
    writer.setStoreFolder(StoreRole::SentItems, mailFolders[1].nid);
    summary.folders = 3;
    for (uint32_t f = 2; f < options.folders; ++f) {
        // A random parent among the folders that still have room below them.
        std::vector<size_t> candidates;
        for (size_t i = 0; i < mailFolders.size(); ++i)
            if (mailFolders[i].depth < options.depth)
                candidates.push_back(i);
        uint32_t parentNid = top;
        uint32_t depth = 1;
        if (!candidates.empty() && random.chance(0.7)) {
            const PlannedFolder& parent = mailFolders[candidates[random.below(candidates.size())]];
            parentNid = parent.nid;
            depth = parent.depth + 1;
        }
        const std::string name = std::string(random.pick(folderWords)) + " " + std::to_string(f);
        mailFolders.push_back({writer.AddFolder(parentNid, FolderDefinition{name, "IPF.Note", {}}), depth});
        ++summary.folders;
    }
    for (uint64_t m = 0; m < options.messages; ++m)
        ++mailFolders[random.below(mailFolders.size())].mails;
    // Deleted mails draw from their own sequence, so adding them leaves the live mails' content as it was.
    // Their numbers (subjects, message ids) come from a range of their own for the same reason.
    Random deletedRandom(options.seed + 0x5DEECE66Dull);
    uint64_t deletedNumber = 1000000000000ull;
    for (uint64_t d = 0; d < options.deletedMessages; ++d)
        ++mailFolders[deletedRandom.below(mailFolders.size())].deleted;

    uint64_t number = 0;
    for (const PlannedFolder& folder : mailFolders) {
        for (uint64_t m = 0; m < folder.mails; ++m) {
            writer.AddMessage(folder.nid, MakeMail(random, counters, ++number, true));
            ++summary.mails;
        }
        if (options.largeAttachmentBytes && folder.nid == mailFolders.front().nid) {
            Message mail = MakeMail(random, counters, ++number, false);
            Bytes data;
            random.fill(data, size_t(options.largeAttachmentBytes));
            mail.attach("large-archive.bin", std::move(data), "application/octet-stream");
            writer.AddMessage(folder.nid, std::move(mail));
            ++summary.mails;
            ++counters.summary->attachments;
        }
        for (uint64_t d = 0; d < folder.deleted; ++d) {
            // Counted apart: a deleted mail's attachments are in no folder either.
            SyntheticSummary uncounted;
            const Counters deletedCounters{&uncounted, &options};
            (void)writer.AddDeletedMessage(folder.nid, MakeMail(deletedRandom, deletedCounters, ++deletedNumber, true));
            ++summary.deletedMails;
        }
        writer.CloseFolder(folder.nid);
    }
    if (options.bigFolderMessages) {
        const uint32_t big = writer.AddFolder(top, FolderDefinition{"Big Folder", "IPF.Note", {}});
        ++summary.folders;
        for (uint64_t m = 0; m < options.bigFolderMessages; ++m) {
            writer.AddMessage(big, MakeMail(random, counters, ++number, true));
            ++summary.mails;
        }
        writer.CloseFolder(big);
    }
    if (options.contacts) {
        const uint32_t contacts = writer.AddFolder(top, FolderDefinition{"Contacts", "IPF.Contact", {}});
        ++summary.folders;
        for (uint64_t c = 0; c < options.contacts; ++c) {
            writer.AddMessage(contacts, MakeContact(random, c + 1));
            ++summary.contacts;
        }
        writer.CloseFolder(contacts);
    }
    if (options.appointments) {
        const uint32_t calendar = writer.AddFolder(top, FolderDefinition{"Calendar", "IPF.Appointment", {}});
        ++summary.folders;
        for (uint64_t a = 0; a < options.appointments; ++a) {
            writer.AddMessage(calendar, MakeAppointment(random, a + 1));
            ++summary.appointments;
        }
        writer.CloseFolder(calendar);
    }
    writer.Finish();
    summary.bytes = writer.bytesWritten();
    return summary;
}

} // namespace tolvane::mkpst
