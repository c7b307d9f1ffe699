// Writes the benchmark mailboxes: a realistic mix of mail for a given number
// of messages, the same bytes for the same seed. HTML and plain bodies of
// varied sizes, about one message in five with attachments, some embedded
// messages, nested folders, one large folder, contacts and appointments, and
// text in several scripts. Items are streamed to disk as they are made, so
// the size of the mailbox does not bound the memory of this program.
#include "MailboxWriter.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

using namespace tolvane::pstwriter;

// A small deterministic generator, so every platform writes the same mailbox.
class SeededRandom {
public:
    explicit SeededRandom(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    uint64_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    // Uniform in [low, high].
    int64_t range(int64_t low, int64_t high) { return low + int64_t(next() % uint64_t(high - low + 1)); }
    bool chance(int percent) { return range(0, 99) < percent; }
    template <typename Container>
    const auto& pick(const Container& values) { return values[size_t(range(0, int64_t(values.size()) - 1))]; }

private:
    uint64_t state_;
};

constexpr std::array kFirstNames = {"Anna", "Björn", "Chloé", "Dmitri", "Eleni", "Fatima", "Giorgos", "Hiroshi",
                                    "Ingrid", "José", "Kateřina", "Łukasz", "María", "Nuno", "Olga", "Priya",
                                    "Quentin", "Rūta", "Søren", "Tomás", "Ümit", "Vera", "Wei", "Yusuf", "Zoë"};
constexpr std::array kLastNames = {"Andersson", "Bauer", "Çelik", "Dubois", "Evans", "Fischer", "García",
                                   "Håkansson", "Ivanova", "Jensen", "Kowalski", "Lefèvre", "Müller", "Nakamura",
                                   "O'Brien", "Papadopoulos", "Rossi", "Schmidt", "Tanaka", "Novák"};
constexpr std::array kDomains = {"example.com", "example.org", "example.net", "mail.example.de",
                                 "corp.example.co.jp"};
constexpr std::array kSubjects = {"Quarterly figures", "Meeting notes", "Re: Invoice 4711", "Lunch on Friday?",
                                  "Fwd: Travel plans", "Angebot für das nächste Quartal", "Réunion de lundi",
                                  "Προσφορά για το έργο", "見積書の件について", "Отчёт за месяц",
                                  "Status update 🚀", "Contract draft v3", "Urlaubsvertretung",
                                  "Re: Re: Server migration", "Photos from the trip", "¿Nos vemos mañana?"};
constexpr std::array kWords = {"the",     "report", "budget",   "schedule", "customer", "delivery", "please",
                               "review",  "attached", "meeting", "Größe",   "déjà",     "naïve",    "façade",
                               "Straße",  "προθεσμία", "締め切り", "данные", "project",  "update",   "thanks",
                               "regards", "figures", "draft",   "version", "office",   "tomorrow", "week"};
constexpr std::array kAttachmentNames = {"report.pdf", "figures.xlsx", "photo.jpg", "notes.txt", "Übersicht.docx",
                                         "contrat signé.pdf", "図面.png", "budget 2024.csv", "archive.zip"};

std::string Person(SeededRandom& random, std::string* address)
{
    std::string first = random.pick(kFirstNames);
    std::string last = random.pick(kLastNames);
    std::string local;
    for (char c : first + "." + last)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.')
            local += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    *address = local + "@" + random.pick(kDomains);
    return first + " " + last;
}

std::string Sentences(SeededRandom& random, size_t approximateBytes)
{
    std::string text;
    text.reserve(approximateBytes + 64);
    while (text.size() < approximateBytes) {
        const int words = int(random.range(6, 18));
        for (int index = 0; index < words; ++index) {
            text += random.pick(kWords);
            text += index + 1 == words ? ". " : " ";
        }
        if (random.chance(15))
            text += "\r\n\r\n";
    }
    return text;
}

// Body sizes: mostly a few kilobytes, some tiny, a few long threads.
size_t BodySize(SeededRandom& random)
{
    const int roll = int(random.range(0, 99));
    if (roll < 15)
        return size_t(random.range(40, 400));
    if (roll < 85)
        return size_t(random.range(800, 4000));
    if (roll < 97)
        return size_t(random.range(4000, 12000));
    return size_t(random.range(12000, 60000));
}

std::string HtmlOf(const std::string& text)
{
    std::string html = "<html><head><meta charset=\"utf-8\"></head><body><p>";
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n')
            html += "<br>";
        else if (c == '<')
            html += "&lt;";
        else if (c == '&')
            html += "&amp;";
        else
            html += c;
    }
    return html + "</p></body></html>";
}

Bytes AttachmentData(SeededRandom& random)
{
    const int roll = int(random.range(0, 99));
    const size_t size = roll < 60 ? size_t(random.range(500, 8000))
                        : roll < 95 ? size_t(random.range(8000, 40000))
                                    : size_t(random.range(40000, 150000));
    Bytes data(size);
    uint64_t word = random.next();
    for (size_t index = 0; index < size; ++index) {
        if (index % 8 == 0)
            word = random.next();
        data[index] = uint8_t(word >> ((index % 8) * 8));
    }
    return data;
}

FileTime Moment(SeededRandom& random)
{
    // 2015-01-01 .. 2024-12-31
    return FileTime::fromUnixSeconds(random.range(1420070400, 1735603200));
}

Message MakeMail(SeededRandom& random, bool allowEmbedded)
{
    Message message;
    std::string address;
    const std::string sender = Person(random, &address);
    message.subject(random.pick(kSubjects)).from(sender, address);
    const int recipients = int(random.range(1, 5));
    for (int index = 0; index < recipients; ++index) {
        const std::string name = Person(random, &address);
        if (index == 0 || random.chance(60))
            message.to(name, address);
        else
            message.cc(name, address);
    }
    const FileTime time = Moment(random);
    message.sent(time).received(FileTime{time.value + uint64_t(random.range(1, 3600)) * 10000000ULL});
    char messageId[96];
    std::snprintf(messageId, sizeof messageId, "<%llu@%s>", static_cast<unsigned long long>(random.next()),
                  random.pick(kDomains));
    message.messageId(messageId);
    const std::string text = Sentences(random, BodySize(random));
    message.body(text);
    if (random.chance(55))
        message.htmlBody(HtmlOf(text));
    if (random.chance(20)) {
        const int attachments = random.chance(70) ? 1 : int(random.range(2, 4));
        for (int index = 0; index < attachments; ++index)
            message.attach(random.pick(kAttachmentNames), AttachmentData(random));
    }
    if (allowEmbedded && random.chance(2))
        message.embed(MakeMail(random, false), "Forwarded message");
    return message;
}

Message MakeContact(SeededRandom& random)
{
    std::string address;
    const std::string name = Person(random, &address);
    const std::string first = name.substr(0, name.find(' '));
    const std::string last = name.substr(name.find(' ') + 1);
    Message contact("IPM.Contact");
    contact.contactNames(first, last).fileUnder(last + ", " + first).email1(address, name);
    return contact;
}

Message MakeAppointment(SeededRandom& random)
{
    Message appointment("IPM.Appointment");
    const FileTime start = Moment(random);
    appointment.subject(random.pick(kSubjects))
        .appointment(start, FileTime{start.value + uint64_t(random.range(1, 8)) * 18000000000ULL},
                     random.chance(50) ? "Room 4.12" : "Konferenzraum Süd");
    appointment.body(Sentences(random, size_t(random.range(50, 600))));
    return appointment;
}

struct FolderShare {
    uint32_t nid;
    int percent;  // share of the messages
};

int Usage()
{
    std::fprintf(stderr, "usage: bench-mailbox --messages N [--seed S] --output FILE.pst\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    long messages = -1;
    uint64_t seed = 1;
    std::string output;
    for (int index = 1; index + 1 < argc; index += 2) {
        if (std::strcmp(argv[index], "--messages") == 0)
            messages = std::strtol(argv[index + 1], nullptr, 10);
        else if (std::strcmp(argv[index], "--seed") == 0)
            seed = std::strtoull(argv[index + 1], nullptr, 10);
        else if (std::strcmp(argv[index], "--output") == 0)
            output = argv[index + 1];
        else
            return Usage();
    }
    if (messages < 0 || output.empty() || argc % 2 == 0)
        return Usage();

    try {
        SeededRandom random(seed);
        MailboxWriter writer(output);
        const uint32_t top = writer.topOfPersonalFolders();
        auto folder = [&](uint32_t parent, const char* name, const char* containerClass = "IPF.Note") {
            return writer.addFolder(parent, FolderSpec{std::string(name), std::string(containerClass), {}});
        };
        const uint32_t inbox = folder(top, "Inbox");
        const uint32_t projects = folder(inbox, "Projekte");
        const uint32_t alpha = folder(projects, "Alpha");
        const uint32_t beta = folder(projects, "Beta – 2024");
        const uint32_t deep = folder(beta, "Übergabe/Notizen");
        const uint32_t sent = folder(top, "Sent Items");
        const uint32_t deleted = folder(top, "Deleted Items");
        writer.setDeletedItemsFolder(deleted);
        const uint32_t archive = folder(top, "Archive");
        std::vector<FolderShare> shares = {{inbox, 40}, {alpha, 5}, {beta, 5}, {deep, 2}, {sent, 13}, {deleted, 5}};
        for (int year = 2019; year <= 2024; ++year)
            shares.push_back({folder(archive, ("Archiv " + std::to_string(year)).c_str()), 5});
        const uint32_t contacts = folder(top, "Contacts", "IPF.Contact");
        const uint32_t calendar = folder(top, "Calendar", "IPF.Appointment");

        long written = 0;
        for (size_t index = 0; index < shares.size(); ++index) {
            long count = messages * shares[index].percent / 100;
            if (index + 1 == shares.size())
                count = messages - written;
            for (long item = 0; item < count; ++item)
                writer.addMessage(shares[index].nid, MakeMail(random, true));
            written += count;
            writer.closeFolder(shares[index].nid);
        }
        for (long item = 0; item < messages / 100 + 1; ++item)
            writer.addMessage(contacts, MakeContact(random));
        for (long item = 0; item < messages / 100 + 1; ++item)
            writer.addMessage(calendar, MakeAppointment(random));
        writer.finish();
        std::printf("%s: %ld messages, %ld contacts, %ld appointments, %.1f MB\n", output.c_str(), written,
                    messages / 100 + 1, messages / 100 + 1, double(writer.bytesWritten()) / 1e6);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench-mailbox: %s\n", error.what());
        return 1;
    }
    return 0;
}
