// Kept bodies survive the trip through StoredText, in memory or spilled to disk.
#include "model/BodySpill.h"
#include "model/ItemRecords.h"
#include "scan/Limits.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <thread>
#include <vector>

using tolvane::BodySpill;
using tolvane::StoredText;

namespace {

QString Repeat(const QString& unit, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += unit;
    return text;
}

}  // namespace

TEST(StoredTextTest, KeepsTextNullAndEmptyApart)
{
    struct Case {
        const char* name;
        QString text;
    };
    const QString limit = Repeat(QStringLiteral("a"), tolvane::kInlineBodyBytes);
    const Case cases[] = {
        {"null", QString()},
        {"empty", QString(u""_qs)},
        {"short", QStringLiteral("<p>hi</p>")},
        {"at the in-memory limit", limit},
        {"one byte over the limit", limit + QStringLiteral("b")},
        {"multi-byte over the limit", Repeat(QString::fromUtf8("Grüße 😀 Привет "), 200)},
        {"body of 64999 bytes", Repeat(QStringLiteral("x"), 64999)},
    };
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const auto spill = std::make_shared<BodySpill>(directory.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StoredText stored = StoredText::fromString(c.text, spill);
        // Only what is longer than the in-memory limit leaves memory.
        EXPECT_EQ(stored.isSpilled(), c.text.toUtf8().size() > tolvane::kInlineBodyBytes);
        EXPECT_EQ(stored.isNull(), c.text.isNull());
        EXPECT_EQ(stored.text().isNull(), c.text.isNull());
        EXPECT_EQ(stored.text(), c.text);
        EXPECT_EQ(stored.byteSize(), c.text.toUtf8().size());
    }
}

TEST(StoredTextTest, ConcurrentWritersAndReadersSeeTheirOwnBodies)
{
    // The scan worker writes while the window and the conversion read.
    constexpr int kThreads = 4;
    constexpr int kBodies = 200;
    std::vector<std::vector<StoredText>> stored(kThreads);
    std::vector<std::thread> threads;
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const auto spill = std::make_shared<BodySpill>(directory.path());
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &stored, &spill] {
            for (int i = 0; i < kBodies; ++i) {
                const QString body = Repeat(QStringLiteral("%1:%2;").arg(t).arg(i), 100);
                stored[t].push_back(StoredText::fromString(body, spill));
                ASSERT_EQ(stored[t].back().text(), body);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kBodies; ++i)
            EXPECT_EQ(stored[t][i].text(), Repeat(QStringLiteral("%1:%2;").arg(t).arg(i), 100));
}
