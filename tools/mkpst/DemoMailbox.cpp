// Every item is spelled out so the demo stays the same from build to build.
#include "tools/mkpst/DemoMailbox.h"

#include "pstwriter/AppointmentBlobs.h"
#include "pstwriter/EntryIds.h"
#include "pstwriter/PstBuilder.h"

namespace tolvane::mkpst {
namespace {

using namespace pstwriter;

FileTime Day(int day, int hour = 9) { return FileTime::fromUnixSeconds(1767225600 + int64_t(day) * 86400 + hour * 3600); }

Bytes TextBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A tiny valid PNG (1x1, red) so image viewers open the attachment.
Bytes TinyPng()
{
    const uint8_t png[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44,
                           0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x90,
                           0x77, 0x53, 0xDE, 0x00, 0x00, 0x00, 0x0C, 0x49, 0x44, 0x41, 0x54, 0x08, 0xD7, 0x63, 0xF8,
                           0xCF, 0xC0, 0x00, 0x00, 0x03, 0x01, 0x01, 0x00, 0x18, 0xDD, 0x8D, 0xB0, 0x00, 0x00, 0x00,
                           0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return Bytes(std::begin(png), std::end(png));
}

} // namespace

void WriteDemoMailbox(const std::string& path)
{
    PstBuilder pst;
    PstFolder& top = pst.topOfPersonalFolders();
    PstFolder& inbox = top.addFolder("Inbox").containerClass("IPF.Note");
    PstFolder& sent = top.addFolder("Sent Items").containerClass("IPF.Note");
    PstFolder& projects = inbox.addFolder("Projects").containerClass("IPF.Note");
    PstFolder& alesund = projects.addFolder("Ålesund 2026").containerClass("IPF.Note");
    PstFolder& japan = inbox.addFolder("日本の取引先").containerClass("IPF.Note");
    PstFolder& contacts = top.addFolder("Contacts").containerClass("IPF.Contact");
    PstFolder& calendar = top.addFolder("Calendar").containerClass("IPF.Appointment");
    PstFolder& tasks = top.addFolder("Tasks").containerClass("IPF.Task");
    PstFolder& notes = top.addFolder("Notes").containerClass("IPF.StickyNote");
    pst.storeFolder(StoreRole::Inbox, inbox).storeFolder(StoreRole::SentItems, sent);

    const char* subjects[] = {"Weekly status", "Grüße aus München", "Résumé attached", "Budget 2026 – first draft",
                              "Встреча в понедельник", "会議の議事録", "Ελληνικά κείμενα", "Invoice #4711",
                              "Lunch?", "Re: Travel plans", "Fwd: Contract", "Quarterly report Q3",
                              "Café menu", "Straße und Hausnummer", "Návrh smlouvy", "Przypomnienie"};
    const char* people[][2] = {{"Anna Berg", "anna.berg@example.com"},       {"Jürgen Groß", "juergen.gross@example.de"},
                               {"Chloé Dubois", "chloe.dubois@example.fr"},  {"Дмитрий Иванов", "dmitri@example.ru"},
                               {"山田 太郎", "taro.yamada@example.jp"},      {"Øystein Dahl", "oystein@example.no"}};

    for (int i = 0; i < 24; ++i) {
        PstFolder& folder = i < 14 ? inbox : (i < 18 ? projects : (i < 21 ? alesund : japan));
        const auto& from = people[i % 6];
        const auto& to = people[(i + 1) % 6];
        Message& m = folder.addMessage()
                         .subject(subjects[i % 16])
                         .from(from[0], from[1])
                         .to(to[0], to[1])
                         .sent(Day(i, 8))
                         .received(Day(i, 9))
                         .property(tags::CreationTime, Day(i, 9))
                         .property(tags::LastModificationTime, Day(i, 9))
                         .flags(i % 3 ? tags::FlagRead : 0)
                         .messageId("<demo" + std::to_string(i) + "@tolvane.example>")
                         .transportHeaders("From: " + std::string(from[1]) + "\r\nTo: " + to[1] + "\r\nSubject: demo " +
                                           std::to_string(i) + "\r\n");
        const std::string text = std::string("Hallo ") + to[0] + ",\r\n\r\n" + subjects[i % 16] +
                                 " — ünïcödé, русский текст, 日本語のテキスト.\r\n\r\n" + from[0];
        switch (i % 4) {
        case 0:
            m.body(text);
            break;
        case 1:
            m.body(text).htmlBody("<html><body><p><b>" + std::string(subjects[i % 16]) + "</b></p><p>" + text +
                                  "</p></body></html>");
            break;
        case 2:
            m.rtfBody("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Status: \\b fine\\b0 .\\par}");
            break;
        default:
            m.body(text).htmlBody("<p>" + text + "</p>");
        }
        if (i % 5 == 0)
            m.cc(people[(i + 2) % 6][0], people[(i + 2) % 6][1]);
        if (i % 4 == 1)
            m.attach("Übersicht.txt", TextBytes("Zeile 1\r\nZeile 2 – äöü\r\n"), "text/plain");
        if (i % 6 == 3)
            m.attach("logo.png", TinyPng(), "image/png", "logo@demo");
        if (i == 7) {
            Bytes large(300 * 1024);
            for (size_t k = 0; k < large.size(); ++k)
                large[k] = uint8_t(k * 31 + k / 1024);
            m.attach("measurements.bin", std::move(large), "application/octet-stream");
        }
    }

    Message original;
    original.subject("Original offer – Angebot")
        .from("Jürgen Groß", "juergen.gross@example.de")
        .to("Anna Berg", "anna.berg@example.com")
        .sent(Day(2))
        .body("The original offer, forwarded as an attachment.")
        .attach("Angebot.txt", TextBytes("Preis: 1.234,56 €\r\n"), "text/plain");
    inbox.addMessage()
        .subject("Fwd: Original offer – Angebot")
        .from("Anna Berg", "anna.berg@example.com")
        .to("Øystein Dahl", "oystein@example.no")
        .sent(Day(3))
        .property(tags::CreationTime, Day(3))
        .property(tags::LastModificationTime, Day(3))
        .body("See the attached message.")
        .embed(original);

    inbox.addMessage()
        .subject("Old newsletter (Windows-1252)")
        .codepage(1252)
        .property(MakeTag(0x0037, PtString8), std::string_view("Caf\xE9 news \x96 \xDC" "bersicht"))
        .property(MakeTag(0x1000, PtString8), std::string_view("Plain 8-bit body: na\xEFve caf\xE9.\r\n"))
        .from("Newsletter", "news@example.com")
        .sent(Day(5))
        .property(tags::CreationTime, Day(5))
        .property(tags::LastModificationTime, Day(5));
    inbox.addMessage("IPM.Note.SMIME")
        .subject("Signed message")
        .from("Chloé Dubois", "chloe.dubois@example.fr")
        .sent(Day(6))
        .property(tags::CreationTime, Day(6))
        .property(tags::LastModificationTime, Day(6))
        .attach("smime.p7m", TextBytes("not a real signature"), "application/pkcs7-mime");

    // Sent mail has no stored internet headers: its identity, threading and
    // importance live in its properties only.
    for (int i = 0; i < 8; ++i) {
        const auto& from = people[i % 6];
        const std::string parent = "<demo" + std::to_string(i + 3) + "@tolvane.example>";
        Message& reply = sent.addMessage()
                             .subject(std::string("Re: ") + subjects[(i + 3) % 16])
                             .from("Me", "me@example.com")
                             .to(from[0], from[1])
                             .sent(Day(10 + i))
                             .property(tags::CreationTime, Day(10 + i))
                             .property(tags::LastModificationTime, Day(10 + i))
                             .body("Thanks, noted.\r\n")
                             .flags(tags::FlagRead | tags::FlagFromMe)
                             .messageId("<sent" + std::to_string(i) + "@tolvane.example>")
                             .property(tags::InReplyToId, parent)
                             .property(tags::InternetReferences, parent);
        if (i == 0)
            reply.importance(2).namedProperty(propsets::PublicStrings, "Keywords",
                                              PropertyValue::multipleUnicode({"Projekt Ålesund", "Wichtig"}));
    }

    Message& anna = contacts.addContact("Anna", "Berg").fileUnder("Berg, Anna").email1("anna.berg@example.com")
        .contactPhoto(TinyPng());
    contacts.addContact("Jürgen", "Groß").fileUnder("Groß, Jürgen").email1("juergen.gross@example.de")
        .property(tags::BusinessTelephone, "+49 89 123456")
        .property(tags::BusinessAddressStreet, "Leopoldstraße 10")
        .property(tags::BusinessAddressCity, "München")
        .property(tags::BusinessAddressPostalCode, "80802")
        .property(tags::BusinessAddressCountry, "Deutschland");
    contacts.addContact("太郎", "山田").fileUnder("山田 太郎").email1("taro.yamada@example.jp");
    contacts.addContact("Øystein", "Dahl").fileUnder("Dahl, Øystein").property(tags::CompanyName, "Fjord AS");
    contacts.addContact("", "Ivanova").fileUnder("Ivanova");
    contacts.addMessage("IPM.DistList")
        .subject("Projekt Ålesund")
        .namedProperty(propsets::Address, 0x8053, PropertyValue::unicode("Projekt Ålesund"))
        .members({{&anna, "Anna Berg", "anna.berg@example.com"}, {nullptr, "Øystein Dahl", "oystein@example.no"}});

    // A meeting with its attendees (To required, Cc optional, Bcc the room).
    calendar.addAppointment("Planning meeting")
        .appointment(Day(20, 10), Day(20, 11), "Room Ålesund")
        .body("Agenda: budget")
        .from("Anna Berg", "anna.berg@example.com")
        .to("Jürgen Groß", "juergen.gross@example.de")
        .cc("Chloé Dubois", "chloe.dubois@example.fr")
        .bcc("Room Ålesund", "room.alesund@example.com")
        .namedProperty(propsets::Appointment, 0x8205, PropertyValue::int32(2))
        .attach("Agenda.txt", TextBytes("1. Budget\r\n2. Reise nach Ålesund\r\n"), "text/plain");
    // Thursdays at 10:00 central European time, twelve times across the change
    // to summer time; 5 February cancelled, 12 February moved to 14:00.
    SeriesPattern weekly;
    weekly.dayMask = 1u << 4;
    weekly.endType = 0x2022;
    weekly.occurrences = 12;
    weekly.deletedDates = {BlobMinutes(2026, 2, 5), BlobMinutes(2026, 2, 12)};
    weekly.modifiedDates = {BlobMinutes(2026, 2, 12)};
    weekly.startDate = BlobMinutes(2026, 1, 22);
    weekly.startMinute = 10 * 60;
    weekly.endMinute = 11 * 60;
    Message moved("IPM.Appointment");
    moved.appointment(Day(42, 13), Day(42, 14), "Online")
        .body("Moved to the afternoon")
        .namedProperty(propsets::Appointment, 0x8228, PropertyValue::time(Day(42, 9)));
    calendar.addAppointment("Weekly sync")
        .appointment(Day(21, 9), Day(21, 10), "Online")
        .recurrencePattern("every Thursday from 10:00 to 11:00")
        .namedProperty(propsets::Appointment, 0x8216, PropertyValue::binary(RecurrenceBlob(weekly)))
        .namedProperty(propsets::Appointment, 0x8233,
                       PropertyValue::binary(TimeZoneStruct(-60, 0, -60, {10, 0, 5, 3}, {3, 0, 5, 2})))
        .namedProperty(propsets::Appointment, 0x8234, PropertyValue::unicode("W. Europe Standard Time"))
        .namedProperty(propsets::Common, 0x8503, PropertyValue::boolean(true))
        .namedProperty(propsets::Common, 0x8501, PropertyValue::int32(10))
        .embed(moved, "Weekly sync");
    calendar.addAppointment("Дедлайн").appointment(Day(25, 12), Day(25, 13));
    // All day on 20 February, kept as the local midnights (UTC+1) that bound it.
    calendar.addAppointment("Betriebsausflug")
        .appointment(Day(49, 23), Day(50, 23))
        .namedProperty(propsets::Appointment, 0x8215, PropertyValue::boolean(true))
        .namedProperty(propsets::Appointment, 0x8205, PropertyValue::int32(3));

    tasks.addMessage("IPM.Task")
        .subject("Send the report")
        .body("Before Friday")
        .importance(2)
        .namedProperty(propsets::Task, 0x8104, PropertyValue::time(Day(26, 0)))
        .namedProperty(propsets::Task, 0x8105, PropertyValue::time(Day(30, 0)))
        .namedProperty(propsets::Task, 0x8101, PropertyValue::int32(1))
        .namedProperty(propsets::Task, 0x8102, PropertyValue::floating(0.25));
    tasks.addMessage("IPM.Task")
        .subject("Book travel to Ålesund")
        .namedProperty(propsets::Task, 0x8101, PropertyValue::int32(2))
        .namedProperty(propsets::Task, 0x8102, PropertyValue::floating(1.0))
        .namedProperty(propsets::Task, 0x810F, PropertyValue::time(Day(12, 15)));
    SeriesPattern everyMonday;
    everyMonday.dayMask = 1u << 1;
    everyMonday.startDate = BlobMinutes(2026, 1, 5);
    tasks.addMessage("IPM.Task")
        .subject("Wochenbericht schreiben")
        .namedProperty(propsets::Task, 0x8104, PropertyValue::time(Day(4, 0)))
        .namedProperty(propsets::Task, 0x8126, PropertyValue::boolean(true))
        .namedProperty(propsets::Task, 0x8116, PropertyValue::binary(RecurrencePatternBlob(everyMonday)));
    notes.addMessage("IPM.StickyNote").subject("Remember the milk").body("Remember the milk")
        .property(tags::CreationTime, Day(14, 8));
    top.addFolder("RSS Feeds").addMessage("IPM.Post.RSS").subject("Feed item").body("News from a feed");

    pst.deletedItems()->addMessage().subject("Deleted draft").body("gone");
    pst.Write(path);
}

} // namespace tolvane::mkpst
