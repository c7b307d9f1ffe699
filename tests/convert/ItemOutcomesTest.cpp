// The outcome recorder: what each kind of outcome moves in the summary, the
// manifest line it leaves and the problem line it sends; a calendar file's
// items listed by kind but reported in the order read.
#include "convert/ItemOutcomes.h"

#include "convert/ConversionDriver.h"
#include "convert/output/OutputTree.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tolvane {
namespace {

class ProblemLines : public ConversionSink {
public:
    void SetProgress(const ConversionPosition&) override {}
    void ShowCompletion(const ConversionSummary&) override {}
    void ReportProblem(const QString& text) override { lines << text; }
    QStringList lines;
};

using Counts = std::map<std::string, int>;

// The summary's counters that are not zero, by name.
Counts CountsOf(const ConversionSummary& summary)
{
    const std::pair<const char*, int> all[] = {
        {"mailSaved", summary.counts.Complete(OutcomeKind::Mail)},
        {"mailIncomplete", summary.counts.Incomplete(OutcomeKind::Mail)},
        {"mailFailed", summary.counts.Failed(OutcomeKind::Mail)},
        {"embeddedCarried", summary.counts.Written(OutcomeKind::EmbeddedMail)},
        {"contactsSaved", summary.counts.Written(OutcomeKind::Contact)},
        {"contactsFailed", summary.counts.Failed(OutcomeKind::Contact)},
        {"contactsIncomplete", summary.counts.Incomplete(OutcomeKind::Contact)},
        {"eventsSaved", summary.counts.Written(OutcomeKind::Appointment)},
        {"eventsFailed", summary.counts.Failed(OutcomeKind::Appointment)},
        {"eventsIncomplete", summary.counts.Incomplete(OutcomeKind::Appointment)},
        {"calendarFilesSaved", summary.counts.Written(OutcomeKind::CalendarFile)},
        {"tasksSaved", summary.counts.Written(OutcomeKind::Task)},
        {"notesSaved", summary.counts.Written(kNoteKinds)},
        {"distributionListsSaved", summary.counts.Written(OutcomeKind::DistributionList)},
        {"distributionListsIncomplete", summary.counts.Incomplete(OutcomeKind::DistributionList)},
        {"otherItemsFailed", summary.counts.Failed(kOtherItemKinds)},
        {"otherItemsIncomplete", summary.counts.Incomplete(kTaskAndNoteKinds)},
        {"recovered.saved", summary.recovered.saved},
        {"recovered.missingAttachments", summary.recovered.missingAttachments},
        {"recovered.otherwiseIncomplete", summary.recovered.otherwiseIncomplete},
        {"recovered.failed", summary.recovered.failed},
        {"memoryShort", summary.memoryShort ? 1 : 0},
    };
    Counts counts;
    for (const auto& [name, value] : all) {
        if (value != 0)
            counts[name] = value;
    }
    return counts;
}

// A run's output folder with its manifest, a summary and the problem lines.
class RunOutput {
public:
    RunOutput()
    {
        auto created = OutputTree::Create(temp_.path(), QStringLiteral("out"));
        EXPECT_TRUE(created);
        if (created)
            output_ = std::move(*created);
        const WriteStep opened = manifest_.Open(*output_, ManifestHeader{});
        EXPECT_TRUE(opened) << qPrintable(opened.error().reason);
    }

    ItemOutcomes outcomes() { return ItemOutcomes(summary, problems, &manifest_, nullptr); }
    QString FilePath(const QString& name) const { return output_->rootPath() + u'/' + name; }

    // The manifest's item lines as written so far.
    std::vector<QJsonObject> ManifestLines() const
    {
        QFile file(output_->rootPath() + QStringLiteral("/manifest.jsonl"));
        std::vector<QJsonObject> lines;
        if (!file.open(QIODevice::ReadOnly))
            return lines;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (!line.isEmpty() && !object.contains(QStringLiteral("input")))  // the first line names the mailbox
                lines.push_back(object);
        }
        return lines;
    }

    ConversionSummary summary;
    ProblemLines problems;

private:
    QTemporaryDir temp_;
    std::unique_ptr<OutputTree> output_;
    ManifestWriter manifest_;
};

MissingParts Lacking(MissingEntry entry)
{
    MissingParts missing;
    missing.Add(std::move(entry));
    return missing;
}

struct OutcomeCase {
    const char* title;
    OutcomeKind kind;
    ItemSource source;
    bool saved;
    WriteFailure failure;  // when not saved
    QString reason;        // when not saved
    MissingParts missing;
    Counts counts;
    QString manifestKind;
    QString notWritten;  // the manifest's reason; empty when the line names the file
    QString problem;     // empty when there is none
};

TEST(ItemOutcomesTest, EachOutcomeMovesItsCountersAndLeavesItsLines)
{
    const MissingParts noAttachment = Lacking(MissingEntry::OfAttachment(MissingPart::Attachment, "a.pdf", 0));
    const MissingParts noPhoto = Lacking(MissingEntry(MissingPart::Photo));
    const OutcomeCase cases[] = {
        {"mail saved whole", OutcomeKind::Mail, ItemSource::Live, true, {}, {}, {},
         {{"mailSaved", 1}, {"embeddedCarried", 2}}, "mail", {}, {}},
        {"mail saved without an attachment", OutcomeKind::Mail, ItemSource::Live, true, {}, {}, noAttachment,
         {{"mailIncomplete", 1}, {"embeddedCarried", 2}}, "mail", {},
         "saved incomplete: item: missing attachment \"a.pdf\""},
        {"mail not saved for memory", OutcomeKind::Mail, ItemSource::Live, false, WriteFailure::ShortOfMemory,
         "not enough memory", {}, {{"mailFailed", 1}, {"memoryShort", 1}}, "mail", "not enough memory",
         "not saved: item: not enough memory"},
        {"recovered mail saved without an attachment", OutcomeKind::Mail, ItemSource::Recovered, true, {}, {},
         noAttachment,
         {{"mailIncomplete", 1}, {"embeddedCarried", 2}, {"recovered.saved", 1}, {"recovered.missingAttachments", 1}},
         "mail", {}, "saved incomplete: item: missing attachment \"a.pdf\""},
        {"orphan mail not saved", OutcomeKind::Mail, ItemSource::Orphan, false, WriteFailure::Content, "disk full", {},
         {{"mailFailed", 1}, {"recovered.failed", 1}}, "mail", "disk full", "not saved: item: disk full"},
        {"contact saved without its photo", OutcomeKind::Contact, ItemSource::Live, true, {}, {}, noPhoto,
         {{"contactsSaved", 1}, {"contactsIncomplete", 1}}, "contact", {},
         "saved incomplete: item: missing its photo (no data)"},
        {"contact not saved", OutcomeKind::Contact, ItemSource::Live, false, WriteFailure::NoDirectory, "gone", noPhoto,
         {{"contactsFailed", 1}}, "contact", "gone", "not saved: item: gone"},
        {"list not read", OutcomeKind::DistributionList, ItemSource::Live, false, WriteFailure::Unreadable, "bad block",
         {}, {{"otherItemsFailed", 1}}, "distribution list", "bad block", "not saved: item: bad block"},
        {"list saved", OutcomeKind::DistributionList, ItemSource::Live, true, {}, {}, {},
         {{"distributionListsSaved", 1}}, "distribution list", {}, {}},
        {"appointment not read for memory", OutcomeKind::Appointment, ItemSource::Live, false,
         WriteFailure::ShortOfMemory, "no memory", {}, {{"eventsFailed", 1}, {"memoryShort", 1}}, "appointment",
         "no memory", "not saved: item: no memory"},
        {"task not read", OutcomeKind::Task, ItemSource::Live, false, WriteFailure::Unreadable, "bad", {},
         {{"otherItemsFailed", 1}}, "task", "bad", "not saved: item: bad"},
        {"journal entry saved", OutcomeKind::JournalEntry, ItemSource::Live, true, {}, {}, {}, {{"notesSaved", 1}},
         "journal entry", {}, {}},
        {"attachment beside a calendar not saved", OutcomeKind::Attachment, ItemSource::Live, false,
         WriteFailure::FileSystem, "read-only", {}, {}, "attachment", "read-only", {}},
        {"failure without words", OutcomeKind::Contact, ItemSource::Live, false, WriteFailure::Content, QString(), {},
         {{"contactsFailed", 1}}, "contact", "not written", "not saved: item: "},
    };
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.title);
        RunOutput run;
        ItemOutcomes outcomes = run.outcomes();
        const QByteArray bytes("content");
        ItemOutcome item;
        item.kind = c.kind;
        item.entry = outcomes.EntryFor(QStringLiteral("\\Top\\Inbox"), 42, QStringLiteral("Subject"), c.source);
        item.label = QStringLiteral("item");
        item.missing = c.missing;
        item.embeddedCarried = 2;
        const SavedFile saved{run.FilePath(QStringLiteral("Top/Inbox/f")), 7, FileDigest{bytes.size(), "abc"}};
        outcomes.Record(item, c.saved ? SaveResult(saved) : SaveResult(NotSaved(c.failure, c.reason)));

        EXPECT_EQ(CountsOf(run.summary), c.counts);
        const std::vector<QJsonObject> lines = run.ManifestLines();
        ASSERT_EQ(lines.size(), 1u);
        const QJsonObject& line = lines.front();
        EXPECT_EQ(line.value("kind").toString(), c.manifestKind);
        EXPECT_EQ(line.value("folder").toString(), "Top/Inbox");
        EXPECT_EQ(line.value("identifier").toInt(), 42);
        EXPECT_EQ(line.value("subject").toString(), "Subject");
        EXPECT_EQ(line.contains("recovered"), c.source != ItemSource::Live);
        if (c.notWritten.isEmpty()) {
            EXPECT_EQ(line.value("path").toString(), "Top/Inbox/f");
            EXPECT_EQ(line.value("offset").toInt(), 7);
            EXPECT_EQ(line.value("size").toInt(), bytes.size());
            EXPECT_EQ(line.value("sha256").toString(), "abc");
            EXPECT_FALSE(line.contains("notWritten"));
        } else {
            EXPECT_EQ(line.value("notWritten").toString(), c.notWritten);
            EXPECT_FALSE(line.contains("path"));
        }
        EXPECT_EQ(run.problems.lines, c.problem.isEmpty() ? QStringList() : QStringList{c.problem});
    }
}

TEST(ItemOutcomesTest, OnlyTheFirstFewProblemsAreKeptButEveryOneIsReported)
{
    RunOutput run;
    ItemOutcomes outcomes = run.outcomes();
    for (int index = 0; index < 7; ++index) {
        ItemOutcome item;
        item.kind = OutcomeKind::Mail;
        item.label = QStringLiteral("m%1").arg(index);
        outcomes.Record(item, NotSaved(WriteFailure::Content, QStringLiteral("full")));
    }
    EXPECT_EQ(run.problems.lines.size(), 7);
    EXPECT_EQ(run.summary.firstFailures,
              QStringList({"m0: full", "m1: full", "m2: full", "m3: full", "m4: full"}));
    EXPECT_EQ(run.summary.counts.Failed(OutcomeKind::Mail), 7);
}

// A calendar's items as read: an appointment lacking an attachment, a note
// and a task lacking their bodies, an appointment without a start.
std::vector<ItemInFile> CalendarItemsRead(ItemOutcomes& outcomes, const SaveResult& file)
{
    const auto item = [&](OutcomeKind kind, uint32_t identifier, const char* label, MissingParts missing) {
        ItemOutcome outcome;
        outcome.kind = kind;
        outcome.entry = outcomes.EntryFor(QStringLiteral("\\Top\\Calendar"), identifier, QString());
        outcome.label = QString::fromLatin1(label);
        outcome.missing = std::move(missing);
        return outcome;
    };
    std::vector<ItemInFile> items;
    items.push_back({item(OutcomeKind::Appointment, 1, "first",
                          Lacking(MissingEntry::OfAttachment(MissingPart::Attachment, "a.pdf", 0))),
                     file});
    items.push_back({item(OutcomeKind::Appointment, 2, "no start", {}),
                     NotSaved(WriteFailure::LeftOut, QStringLiteral("it has no start"))});
    items.push_back({item(OutcomeKind::Note, 3, "note", Lacking(MissingEntry(MissingPart::Body))), file});
    items.push_back({item(OutcomeKind::Task, 4, "task", Lacking(MissingEntry(MissingPart::Body))), file});
    return items;
}

TEST(ItemOutcomesTest, ACalendarListsItsItemsByKindAndReportsThemInTheOrderRead)
{
    struct Case {
        const char* title;
        bool saved;
        Counts counts;
        std::vector<QString> notWritten;  // by manifest line: appointments, then tasks, then notes
        QStringList problems;
    };
    const Case cases[] = {
        {"saved", true,
         {{"calendarFilesSaved", 1}, {"eventsSaved", 1}, {"eventsIncomplete", 1}, {"eventsFailed", 1},
          {"tasksSaved", 1}, {"notesSaved", 1}, {"otherItemsIncomplete", 2}},
         {"", "it has no start", "", ""},
         {"saved incomplete: first: missing attachment \"a.pdf\"", "saved incomplete: note: missing the body",
          "saved incomplete: task: missing the body"}},
        {"not saved", false, {{"eventsFailed", 2}, {"otherItemsFailed", 2}},
         {"disk full", "it has no start", "disk full", "disk full"},
         {"not saved: Calendar.ics: disk full"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        RunOutput run;
        ItemOutcomes outcomes = run.outcomes();
        const SaveResult file = c.saved ? SaveResult(SavedFile{run.FilePath(QStringLiteral("Calendar.ics")), {},
                                                               FileDigest{5, "def"}})
                                        : SaveResult(NotSaved(WriteFailure::Content, QStringLiteral("disk full")));
        outcomes.RecordCalendarFile(CalendarItemsRead(outcomes, file), file, QStringLiteral("Calendar.ics"));

        EXPECT_EQ(CountsOf(run.summary), c.counts);
        const std::vector<QJsonObject> lines = run.ManifestLines();
        ASSERT_EQ(lines.size(), 4u);
        const int identifiers[] = {1, 2, 4, 3};
        const char* kinds[] = {"appointment", "appointment", "task", "note"};
        for (std::size_t index = 0; index < lines.size(); ++index) {
            EXPECT_EQ(lines[index].value("identifier").toInt(), identifiers[index]) << index;
            EXPECT_EQ(lines[index].value("kind").toString(), kinds[index]) << index;
            EXPECT_EQ(lines[index].value("notWritten").toString(), c.notWritten[index]) << index;
            if (c.notWritten[index].isEmpty()) {
                EXPECT_EQ(lines[index].value("path").toString(), "Calendar.ics") << index;
            }
        }
        EXPECT_EQ(run.problems.lines, c.problems);
    }
}

}  // namespace
}  // namespace tolvane
