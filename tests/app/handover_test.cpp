#include "app/handover.h"
#include "app/toolkit_options.h"

#include <QSet>
#include <deque>
#include <gtest/gtest.h>

namespace {

TEST(ChannelReferencesFromArguments, EverythingButArgumentZeroAndTheSwitch) {
    const struct {
        const char* name;
        QStringList arguments;
        QStringList references;
    } cases[] = {
        {"no arguments", {}, {}},
        {"program only", {"/opt/v/Vistrel"}, {}},
        {"one reference", {"/opt/v/Vistrel", "abc1234"}, {"abc1234"}},
        {"switch is not a reference", {"/opt/v/Vistrel", "-D537"}, {}},
        {"switch twice, reference between", {"/v", "-D537", "abc1234", "-D537"}, {"abc1234"}},
        {"argument 0 equal to the switch is still the program", {"-D537", "abc1234"}, {"abc1234"}},
        {"switch in other case is a reference", {"/v", "-d537"}, {"-d537"}},
        {"switch with more around is a reference",
         {"/v", "-D5370", " -D537"},
         {"-D5370", " -D537"}},
        {"order kept, duplicates kept", {"/v", "b", "a", "b"}, {"b", "a", "b"}},
        {"empty argument is a reference", {"/v", ""}, {""}},
        {"page address and mark-up whole",
         {"/v", "http://www.tevora.tv/チャンネル", "<embed src=\"x?cid=abc1234\">"},
         {"http://www.tevora.tv/チャンネル", "<embed src=\"x?cid=abc1234\">"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ChannelReferencesFromArguments(c.arguments), c.references);
    }
}

// As Qt 6.4's application object on X11 was seen to leave each command line.
TEST(ArgumentsLeftByToolkit, AsQtLeavesThem) {
    const struct {
        const char* name;
        QStringList arguments;
        QStringList left;
    } cases[] = {
        {"nothing of Qt's", {"/v", "a", "-D537", "b"}, {"/v", "a", "-D537", "b"}},
        {"style with its value, joined, with two dashes",
         {"/v", "a", "-style", "Fusion", "b", "-style=Fusion", "c", "--style", "Fusion", "d"},
         {"/v", "a", "b", "c", "d"}},
        {"style sheet, widget count, reverse, plug-in, obsolete switches",
         {"/v", "a", "-stylesheet", "x", "b", "-stylesheet=y", "c", "-widgetcount", "d", "-reverse",
          "e", "-plugin", "p", "f", "-qdevel", "-qdebug", "g"},
         {"/v", "a", "b", "c", "d", "e", "f", "g"}},
        {"window geometry, title and icon, also as X11 names them",
         {"/v",    "a", "-qwindowgeometry", "10x10", "b", "-geometry",
          "10x10", "c", "-qwindowtitle",    "t",     "d", "-title",
          "t",     "e", "-qwindowicon",     "i",     "f", "-icon",
          "i",     "g"},
         {"/v", "a", "b", "c", "d", "e", "f", "g"}},
        {"X11's own, the session and the platform's",
         {"/v",   "a", "-display",  ":1",      "b", "-name",      "n",   "c", "-visual",
          "0x21", "d", "-nograb",   "-dograb", "e", "-session",   "s",   "f", "-platformtheme",
          "x",    "g", "-platform", "xcb",     "h", "--platform", "xcb", "i", "-platformpluginpath",
          "/p",   "j"},
         {"/v", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"debugger switch only joined", {"/v", "-qmljsdebugger=port:1", "a"}, {"/v", "a"}},
        {"style last keeps its name", {"/v", "a", "-style"}, {"/v", "a", "-style"}},
        {"session last keeps its name", {"/v", "a", "-session"}, {"/v", "a", "-session"}},
        {"platform last goes all the same", {"/v", "a", "-platform"}, {"/v", "a"}},
        {"a value that looks like an option is a value (the platform's options come first)",
         {"/v", "-qwindowtitle", "-style", "Fusion"},
         {"/v", "Fusion"}},
        {"the title takes a switch of the application's",
         {"/v", "a", "-qwindowtitle", "-reverse", "b"},
         {"/v", "a", "b"}},
        {"help and version are the program's",
         {"/v", "--help", "--version", "-h"},
         {"/v", "--help", "--version", "-h"}},
        {"three dashes, other case, empty and a lone dash are not Qt's",
         {"/v", "---style", "x", "-Style", "", "-"},
         {"/v", "---style", "x", "-Style", "", "-"}},
        {"argument 0 is never an option", {"-reverse", "a"}, {"-reverse", "a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ArgumentsLeftByToolkit(c.arguments), c.left);
    }
}

TEST(ChannelReferencesFromArguments, QtsOptionsAreNoReferences) {
    EXPECT_EQ(ChannelReferencesFromArguments(
                  {"/v", "-style", "Windows", "abc1234", "-platform", "wayland", "-D537"}),
              QStringList{"abc1234"});
    EXPECT_EQ(ChannelReferencesFromArguments({"/v", "-qwindowgeometry", "640x480", "-reverse"}),
              QStringList{});
}

HandoverRequestReader::Status FeedInPieces(HandoverRequestReader& reader, const QByteArray& bytes,
                                           qsizetype piece) {
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        if (reader.Feed(bytes.mid(at, piece)) != HandoverRequestReader::Status::NeedMore) {
            break;
        }
    }
    return reader.status();
}

TEST(HandoverRequest, TravelsWholeInPiecesOfAnySize) {
    const QList<QStringList> referenceSets = {
        {},
        {"abc1234"},
        {"", "a b", "line\nbreak\r\n", "100% = %41", "http://www.tevora.tv/日本語の名前",
         "<object><param name=\"movie\" value=\"...?cid=abc1234\"></object>", "END", "REF x"},
        QStringList(50, QString(3000, u'x')),
    };
    for (const QStringList& references : referenceSets) {
        const HandoverRequest sent{references, 1234567890123LL};
        const QByteArray bytes = EncodeHandoverRequest(sent);
        for (const qsizetype piece : {qsizetype(1), qsizetype(7), bytes.size()}) {
            SCOPED_TRACE(testing::Message()
                         << references.size() << " references, pieces of " << piece);
            HandoverRequestReader reader;
            ASSERT_EQ(FeedInPieces(reader, bytes, piece), HandoverRequestReader::Status::Complete);
            EXPECT_EQ(reader.request().references, references);
            EXPECT_EQ(reader.request().deadlineNs, sent.deadlineNs);
        }
    }
}

TEST(HandoverRequest, AnythingElseIsMalformed) {
    const QByteArray good = EncodeHandoverRequest({{"abc1234"}, 42});
    const struct {
        const char* name;
        QByteArray bytes;
        HandoverRequestReader::Status status;
    } cases[] = {
        {"nothing yet", "", HandoverRequestReader::Status::NeedMore},
        {"cut before the end", good.left(good.size() - 1), HandoverRequestReader::Status::NeedMore},
        {"other header", "HELLO\nDEADLINE 1\nEND\n", HandoverRequestReader::Status::Malformed},
        {"other version", "VISTREL-HANDOVER 2\nDEADLINE 1\nEND\n",
         HandoverRequestReader::Status::Malformed},
        {"no deadline", "VISTREL-HANDOVER 1\nEND\n", HandoverRequestReader::Status::Malformed},
        {"deadline not a number", "VISTREL-HANDOVER 1\nDEADLINE soon\nEND\n",
         HandoverRequestReader::Status::Malformed},
        {"unknown line", "VISTREL-HANDOVER 1\nDEADLINE 1\nRUN rm\nEND\n",
         HandoverRequestReader::Status::Malformed},
        {"reference not encoded", "VISTREL-HANDOVER 1\nDEADLINE 1\nREF a b\nEND\n",
         HandoverRequestReader::Status::Malformed},
        {"bytes after the end", good + "REF x\n", HandoverRequestReader::Status::Malformed},
        {"carriage returns", QByteArray(good).replace("\n", "\r\n"),
         HandoverRequestReader::Status::Malformed},
        {"endless line",
         "VISTREL-HANDOVER 1\nDEADLINE 1\nREF " +
             QByteArray(HandoverRequestReader::kMaxRequestBytes, 'a'),
         HandoverRequestReader::Status::Malformed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HandoverRequestReader reader;
        EXPECT_EQ(reader.Feed(c.bytes), c.status);
    }
}

TEST(HandoverRequest, NothingIsTakenAfterMalformedOrComplete) {
    HandoverRequestReader bad;
    EXPECT_EQ(bad.Feed("nonsense\n"), HandoverRequestReader::Status::Malformed);
    EXPECT_EQ(bad.Feed(EncodeHandoverRequest({{"abc1234"}, 1})),
              HandoverRequestReader::Status::Malformed);

    HandoverRequestReader done;
    EXPECT_EQ(done.Feed(EncodeHandoverRequest({{"abc1234"}, 1})),
              HandoverRequestReader::Status::Complete);
    EXPECT_EQ(done.Feed("REF eHl6\n"), HandoverRequestReader::Status::Malformed);
}

TEST(HandoverReply, Parsed) {
    const struct {
        QByteArray received;
        HandoverReply reply;
    } cases[] = {
        {"", HandoverReply::None},
        {"ACCEP", HandoverReply::None},
        {kHandoverAccepted, HandoverReply::Accepted},
        {kHandoverLate, HandoverReply::Late},
        {"ACCEPTED", HandoverReply::None},
        {"accepted\n", HandoverReply::Malformed},
        {"HTTP/1.1 200 OK\r\n", HandoverReply::Malformed},
        {QByteArray(100, 'x'), HandoverReply::Malformed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.received.toStdString());
        EXPECT_EQ(ParseHandoverReply(c.received), c.reply);
    }
}

TEST(HandoverServerName, OneNamePerFolderAndUser) {
    const QString a = HandoverServerName("/home/u/Vistrel", 1000);
    EXPECT_EQ(a, HandoverServerName("/home/u/Vistrel", 1000));
    const QSet<QString> names = {
        a,
        HandoverServerName("/home/u/Vistrel2", 1000),
        HandoverServerName("/home/u/vistrel", 1000),
        HandoverServerName("/home/u/Vistrel", 1001),
        HandoverServerName("/", 1000),
        HandoverServerName("/home/u/日本", 1000),
    };
    EXPECT_EQ(names.size(), 6);
    // A socket path has room for little more than 100 bytes, and folders can be long.
    EXPECT_EQ(HandoverServerName(QString(4000, u'x'), 4294967295u).size(),
              HandoverServerName("/", 0).size() + 9);
    for (const QString& name : names) {
        EXPECT_LE(name.size(), 48);
        EXPECT_FALSE(name.contains(u'/'));
    }
}

// A start's attempts played from a script: each attempt takes the next scripted result, the
// last one over and over.
class ScriptedStart final : public StartAttempts {
public:
    ScriptedStart(std::deque<LockAttempt> locks, std::deque<HandoverAttempt> handovers,
                  int expireAfterPauses)
        : m_locks(std::move(locks)), m_handovers(std::move(handovers)),
          m_expireAfterPauses(expireAfterPauses) {}

    LockAttempt TryLock() override { return Next(m_locks); }
    HandoverAttempt TryHandover() override {
        ++handoverCalls;
        return Next(m_handovers);
    }
    bool Expired() const override { return m_pauses >= m_expireAfterPauses; }
    void Pause() override { ++m_pauses; }

    int handoverCalls = 0;

private:
    template <class T> static T Next(std::deque<T>& script) {
        const T next = script.front();
        if (script.size() > 1) {
            script.pop_front();
        }
        return next;
    }

    std::deque<LockAttempt> m_locks;
    std::deque<HandoverAttempt> m_handovers;
    int m_expireAfterPauses;
    int m_pauses = 0;
};

TEST(DecideStart, TakesTheLockOrHandsOverUntilTheDeadline) {
    using L = LockAttempt;
    using H = HandoverAttempt;
    const struct {
        const char* name;
        std::deque<L> locks;
        std::deque<H> handovers;
        int expireAfterPauses;
        StartRole role;
        int handoverCalls;
    } cases[] = {
        {"free folder", {L::Acquired}, {H::Answered}, 10, StartRole::First, 0},
        {"unwritable folder", {L::Unavailable}, {H::Answered}, 10, StartRole::OnItsOwn, 0},
        {"running instance answers", {L::Held}, {H::Answered}, 10, StartRole::HandedOver, 1},
        {"running instance hung", {L::Held}, {H::NoAnswer}, 10, StartRole::NotAnswered, 1},
        {"way to the running instance not private, not tried again",
         {L::Held},
         {H::Refused, H::Answered},
         10,
         StartRole::Refused,
         1},
        {"holder still starting, then listens",
         {L::Held},
         {H::NoServer, H::NoServer, H::Answered},
         10,
         StartRole::HandedOver,
         3},
        {"holder never listens", {L::Held}, {H::NoServer}, 5, StartRole::NotAnswered, 6},
        {"holder ends while waiting",
         {L::Held, L::Held, L::Acquired},
         {H::NoServer},
         10,
         StartRole::First,
         2},
        {"deadline already passed", {L::Held}, {H::NoServer}, 0, StartRole::NotAnswered, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedStart start(c.locks, c.handovers, c.expireAfterPauses);
        EXPECT_EQ(DecideStart(start), c.role);
        EXPECT_EQ(start.handoverCalls, c.handoverCalls);
    }
}

} // namespace
