// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/testsupport.h"
#include "discovery/protocol.h"

#include <cstring>

Q_DECLARE_METATYPE(DeviceRecord)

namespace {

// A 45-byte long-layout reply with recognisable bytes in every field.
QByteArray longReply(char levelTwo = 'O')
{
    QByteArray reply("QuorvanR");
    reply += QByteArray::fromHex("0050c20de405"); // MAC
    reply += 'N';                                 // DHCP
    reply += QByteArray("4022\0", 5);             // port
    reply += QByteArray::fromHex("c0a8010a");     // IP 192.168.1.10
    reply += QByteArray::fromHex("ffffff00");     // mask
    reply += QByteArray::fromHex("c0a801fe");     // gateway
    reply += QByteArray::fromHex("08080808");     // DNS
    reply += levelTwo;
    reply += "V3.00.01";
    return reply;
}

DeviceRecord parse(const QByteArray &bytes)
{
    return parseReply(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                      std::size_t(bytes.size()));
}

bool reply(const QByteArray &bytes)
{
    return isReply(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                   std::size_t(bytes.size()));
}

QByteArray writeFor(const DeviceRecord &record)
{
    const WriteDatagram datagram = buildWriteDatagram(record);
    return bytesOf(datagram.data(), int(datagram.size()));
}

} // namespace

class TestProtocol : public StrictTestCase
{
    Q_OBJECT

private slots:
    void recognisesReplies_data();
    void recognisesReplies();
    void readsLevelTwoAndVersion_data();
    void readsLevelTwoAndVersion();
    void readsDhcpFlag_data();
    void readsDhcpFlag();
    void readsPortText_data();
    void readsPortText();
    void readsAddressesAndMac();
    void shortDatagramReadsMissingBytesAsZero_data();
    void shortDatagramReadsMissingBytesAsZero();
    void shortDatagramNeverShowsEarlierBytes();
    void writeDatagramLayout();
    void writeFlags_data();
    void writeFlags();
    void longReplyComesBackInWrite_data();
    void longReplyComesBackInWrite();
    void shortReplyIsWrittenInLongLayout();
    void macTextToBytes_data();
    void macTextToBytes();
    void queryDatagramBytes();
    void builtRepliesReadBack();
};

void TestProtocol::recognisesReplies_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("expected");

    QTest::newRow("long reply") << longReply() << true;
    QTest::newRow("query") << QByteArray("Quorvan?\0", 9) << false;
    QTest::newRow("write") << QByteArray("QuorvanW").append(longReply().mid(8)) << false;
    QTest::newRow("lower-case magic") << QByteArray("quorvanR").append(longReply().mid(8)) << false;
    QTest::newRow("41 bytes") << longReply().left(41) << true;
    QTest::newRow("40 bytes") << longReply().left(40) << false;
    QTest::newRow("magic only") << QByteArray("QuorvanR") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestProtocol::recognisesReplies()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, expected);
    QCOMPARE(reply(bytes), expected);
}

void TestProtocol::readsLevelTwoAndVersion_data()
{
    QTest::addColumn<char>("byte36");
    QTest::addColumn<int>("levelTwo");
    QTest::addColumn<QByteArray>("version");

    QTest::newRow("O: long, on") << 'O' << 1 << QByteArray("V3.00.01");
    QTest::newRow("N: long, off") << 'N' << 0 << QByteArray("V3.00.01");
    QTest::newRow("1: short") << '1' << 0 << QByteArray("1V3.0\0\0\0", 8);
    QTest::newRow("o: short") << 'o' << 0 << QByteArray("oV3.0\0\0\0", 8);
    QTest::newRow("NUL: short") << '\0' << 0 << QByteArray("\0V3.0\0\0\0", 8);
}

void TestProtocol::readsLevelTwoAndVersion()
{
    QFETCH(char, byte36);
    QFETCH(int, levelTwo);
    QFETCH(QByteArray, version);
    const DeviceRecord record = parse(longReply(byte36));
    QCOMPARE(int(record.cdeNiveau2), levelTwo);
    QCOMPARE(bytesOf(record.version, 8), version);
}

void TestProtocol::readsDhcpFlag_data()
{
    QTest::addColumn<char>("byte14");
    QTest::addColumn<int>("dhcp");
    QTest::newRow("O") << 'O' << 1;
    QTest::newRow("N") << 'N' << 0;
    QTest::newRow("o") << 'o' << 0;
    QTest::newRow("NUL") << '\0' << 0;
    QTest::newRow("1") << '1' << 0;
}

void TestProtocol::readsDhcpFlag()
{
    QFETCH(char, byte14);
    QFETCH(int, dhcp);
    QByteArray bytes = longReply();
    bytes[14] = byte14;
    QCOMPARE(int(parse(bytes).dhcp), dhcp);
}

void TestProtocol::readsPortText_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("port");

    QTest::newRow("four digits") << QByteArray("4022\0", 5) << QByteArray("4022\0\0", 6);
    QTest::newRow("five digits") << QByteArray("65535") << QByteArray("65535\0", 6);
    QTest::newRow("NUL inside") << QByteArray("80\0"
                                              "99",
                                              5)
                                << QByteArray("80\0\0\0\0", 6);
    QTest::newRow("empty") << QByteArray("\0"
                                         "123",
                                         5)
                           << QByteArray(6, '\0');
}

void TestProtocol::readsPortText()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, port);
    QByteArray bytes = longReply();
    bytes.replace(15, 5, field);
    const DeviceRecord record = parse(bytes);
    QCOMPARE(bytesOf(record.port, 6), port);
    // The write datagram carries the port as stored: what followed the NUL is gone.
    QCOMPARE(writeFor(record).mid(15, 5), port.left(5));
}

void TestProtocol::readsAddressesAndMac()
{
    const DeviceRecord record = parse(longReply());
    QCOMPARE(bytesOf(record.mac, 6), QByteArray::fromHex("0050c20de405"));
    QCOMPARE(bytesOf(record.ip, 4), QByteArray::fromHex("c0a8010a"));
    QCOMPARE(bytesOf(record.mask, 4), QByteArray::fromHex("ffffff00"));
    QCOMPARE(bytesOf(record.gateway, 4), QByteArray::fromHex("c0a801fe"));
    QCOMPARE(bytesOf(record.dns, 4), QByteArray::fromHex("08080808"));
    QCOMPARE(int(record.dhcp), 0);
}

void TestProtocol::shortDatagramReadsMissingBytesAsZero_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<char>("byte36");
    QTest::addColumn<QByteArray>("version");

    QTest::newRow("short layout, 41 bytes") << 41 << '3' << QByteArray("3V3.0\0\0\0", 8);
    QTest::newRow("long layout, 41 bytes") << 41 << 'N' << QByteArray("V3.0\0\0\0\0", 8);
    QTest::newRow("long layout, 44 bytes") << 44 << 'O' << QByteArray("V3.00.0\0", 8);
}

void TestProtocol::shortDatagramReadsMissingBytesAsZero()
{
    QFETCH(int, length);
    QFETCH(char, byte36);
    QFETCH(QByteArray, version);
    const DeviceRecord record = parse(longReply(byte36).left(length));
    QCOMPARE(bytesOf(record.version, 8), version);
}

// The receive buffer of a socket is 45 bytes; what a short datagram does not cover must not
// come from the datagram read into the same buffer before it.
void TestProtocol::shortDatagramNeverShowsEarlierBytes()
{
    std::uint8_t buffer[replyDatagramSize];
    const QByteArray first = longReply('O');
    std::memcpy(buffer, first.constData(), sizeof buffer);
    QByteArray second = longReply('N').left(41);
    second.replace(8, 6, QByteArray::fromHex("020000000002"));
    second.replace(37, 4, QByteArray("V9.9"));
    std::memcpy(buffer, second.constData(), std::size_t(second.size()));

    const DeviceRecord record = parseReply(buffer, std::size_t(second.size()));
    QCOMPARE(bytesOf(record.version, 8), QByteArray("V9.9\0\0\0\0", 8));
    QCOMPARE(int(record.cdeNiveau2), 0);
    QCOMPARE(bytesOf(record.mac, 6), QByteArray::fromHex("020000000002"));
}

void TestProtocol::writeDatagramLayout()
{
    DeviceRecord record;
    const std::uint8_t mac[6] = {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f};
    std::memcpy(record.mac, mac, 6);
    std::memcpy(record.port, "502\0\0", 6);
    const std::uint8_t ip[4] = {10, 0, 0, 7}, mask[4] = {255, 255, 0, 0}, gw[4] = {10, 0, 0, 1},
                       dns[4] = {10, 0, 0, 2};
    std::memcpy(record.ip, ip, 4);
    std::memcpy(record.mask, mask, 4);
    std::memcpy(record.gateway, gw, 4);
    std::memcpy(record.dns, dns, 4);
    std::memcpy(record.version, "V4.1\0\0\0\0", 8);

    const QByteArray expected = QByteArray("QuorvanW") + QByteArray::fromHex("0a1b2c3d4e5f") + 'N' +
                                QByteArray("502\0\0", 5) +
                                QByteArray::fromHex("0a000007ffff00000a0000010a000002") + 'N' +
                                QByteArray("V4.1\0\0\0\0", 8);
    QCOMPARE(writeFor(record), expected);
}

void TestProtocol::writeFlags_data()
{
    QTest::addColumn<int>("dhcp");
    QTest::addColumn<int>("levelTwo");
    QTest::addColumn<char>("byte14");
    QTest::addColumn<char>("byte36");
    QTest::newRow("dhcp on, level 2 off") << 1 << 0 << 'O' << 'N';
    QTest::newRow("dhcp off, level 2 on") << 0 << 1 << 'N' << 'O';
    QTest::newRow("any non-zero is on") << 0x80 << 7 << 'O' << 'O';
}

void TestProtocol::writeFlags()
{
    QFETCH(int, dhcp);
    QFETCH(int, levelTwo);
    QFETCH(char, byte14);
    QFETCH(char, byte36);
    DeviceRecord record;
    record.dhcp = std::uint8_t(dhcp);
    record.cdeNiveau2 = std::uint8_t(levelTwo);
    const QByteArray datagram = writeFor(record);
    QCOMPARE(datagram.at(14), byte14);
    QCOMPARE(datagram.at(36), byte36);
}

void TestProtocol::longReplyComesBackInWrite_data()
{
    QTest::addColumn<char>("dhcp");
    QTest::addColumn<char>("levelTwo");
    QTest::newRow("dhcp off, level 2 on") << 'N' << 'O';
    QTest::newRow("dhcp on, level 2 off") << 'O' << 'N';
}

void TestProtocol::longReplyComesBackInWrite()
{
    QFETCH(char, dhcp);
    QFETCH(char, levelTwo);
    QByteArray bytes = longReply(levelTwo);
    bytes[14] = dhcp;
    QCOMPARE(writeFor(parse(bytes)).mid(8), bytes.mid(8));
}

void TestProtocol::shortReplyIsWrittenInLongLayout()
{
    QByteArray bytes = longReply('V');
    bytes.replace(36, 9, QByteArray("V2.01xxxx"));
    const QByteArray datagram = writeFor(parse(bytes));
    QCOMPARE(datagram.size(), 45);
    QCOMPARE(datagram.at(36), 'N');
    QCOMPARE(datagram.mid(37), QByteArray("V2.01\0\0\0", 8));
}

void TestProtocol::macTextToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("mac");

    QTest::newRow("two digits") << "00:1a:2b:3c:4d:5e" << QByteArray::fromHex("001a2b3c4d5e");
    QTest::newRow("one digit first") << "0:1a:2b:3c:4d:5e" << QByteArray::fromHex("001a2b3c4d5e");
    QTest::newRow("one digit groups") << "a:b:0c:0d:0e:0f" << QByteArray::fromHex("0a0b0c0d0e0f");
    QTest::newRow("high bytes") << "ff:fe:fd:fc:fb:fa" << QByteArray::fromHex("fffefdfcfbfa");
    QTest::newRow("separator runs") << "::1:2::3:4:5:6:" << QByteArray::fromHex("010203040506");
    QTest::newRow("seventh piece ignored")
        << "1:2:3:4:5:6:7" << QByteArray::fromHex("010203040506");
    QTest::newRow("too few pieces") << "1:2" << QByteArray::fromHex("010200000000");
    QTest::newRow("empty") << "" << QByteArray(6, '\0');
}

void TestProtocol::macTextToBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, mac);
    const MacAddress bytes = ::macTextToBytes(text.toStdString());
    QCOMPARE(bytesOf(bytes.data(), 6), mac);
}

void TestProtocol::queryDatagramBytes()
{
    const QueryDatagram query = queryDatagram();
    QCOMPARE(bytesOf(query.data(), int(query.size())), QByteArray("Quorvan?\0", 9));
}

// The board simulator's replies must read back as the record they were built from.
void TestProtocol::builtRepliesReadBack()
{
    DeviceRecord record = makeBoard("0a1b2c3d4e5f", QStringLiteral("192.168.9.3"), "V3.00.01");
    record.dhcp = 1;
    record.cdeNiveau2 = 1;
    const QByteArray longBytes = replyBytes(record, ReplyLayout::Long);
    QCOMPARE(parse(longBytes), record);

    const QByteArray shortBytes = replyBytes(record, ReplyLayout::Short);
    const DeviceRecord shortRecord = parse(shortBytes);
    QCOMPARE(bytesOf(shortRecord.version, 8), QByteArray("V3.00\0\0\0", 8));
    QCOMPARE(int(shortRecord.cdeNiveau2), 0);
    QCOMPARE(shortBytes.mid(41), QByteArray(4, '\0'));
}

QUORVAN_TEST_MAIN(TestProtocol)
#include "tst_protocol.moc"
