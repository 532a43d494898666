// No code reaches the journal, whatever the line does around it: random traffic around known codes
// (noise, echoes, cuts at every offset, pieces, re-fetches, late rests, late and repeated answers,
// bytes left unread past a request, purges, the port lost), written by the program's own link, then
// no code byte in any row, cell, saved file, copied text or buffer of the recorder.
#include "CodeTraffic.h"
#include "keys/KeyFrames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

using codetraffic::Bytes;
using namespace KeyLink;

// The traffic is framed as the devices frame it: every frame passes the program's own checks.
TEST(JournalCodes, TheTrafficsFramesAreTheProtocolsFrames) {
    for (const Bytes& body : {Bytes{8, 0}, Bytes{1, 0x5C, 0xFA, 0xE7}, Bytes(20, 0x11)}) {
        const Bytes reply = codetraffic::framed(0xFA, body);
        EXPECT_EQ(reply.size(), body.size() + 4);
        EXPECT_EQ(Link::checkReply(reply.data() + 1, static_cast<int>(reply.size()) - 1), Link::ReplyCheck::Ok);
        const Bytes keyReply = codetraffic::keyFramed(body);
        EXPECT_EQ(checkKeyReply(keyReply.data() + 1, static_cast<int>(keyReply.size()) - 1), KeyReplyCheck::Ok);
    }
    const Bytes fetch = codetraffic::framed(0xAF, {2});
    EXPECT_EQ(fetch, (Bytes{0xAF, 0x03, 0x02, 0x05, 0x00}));
    const QByteArray request = Link::requestFrame(1, 11, 0x5D, 3, 0);
    EXPECT_EQ(codetraffic::framed(0xAF, {1, 11, 0x5D, 3, 0}), Bytes(request.begin(), request.end()));
    const auto keyRequest = buildKeyRequest(3, 1, 0, 0, 0);
    EXPECT_EQ(codetraffic::framed(0xAF, {3, 1, 0, 0, 0}), Bytes(keyRequest.begin(), keyRequest.end()));
    const Bytes signature = codetraffic::signature();
    EXPECT_EQ(signature.size(), 39u);
    EXPECT_TRUE(Link::isKeyDeviceSignature(signature.data() + 1));
    EXPECT_EQ(checkKeyReply(signature.data() + 1, 38), KeyReplyCheck::Ok);
}

// ORTEX_CODE_SEEDS runs more seeds (the long run takes 100000).
TEST(JournalCodes, NoCodeByteIsKeptUnderAnyTraffic) {
    const char* seeds = std::getenv("ORTEX_CODE_SEEDS");
    const unsigned last = seeds ? static_cast<unsigned>(std::atoi(seeds)) : 4000;
    for (unsigned seed = 1; seed <= last; ++seed) {
        std::mt19937 random(seed);
        Journal::Recorder journal;
        codetraffic::Player(journal, [&random](int n) { return static_cast<int>(random() % unsigned(n)); })
            .play(40);
        const QString where = codetraffic::leak(journal);
        ASSERT_TRUE(where.isEmpty()) << "seed " << seed << ": " << where.toStdString();
    }
}
