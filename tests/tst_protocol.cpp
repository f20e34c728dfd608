// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/testsupport.h"
#include "discovery/protocol.h"

#include <cstring>

Q_DECLARE_METATYPE(DeviceRecord)

namespace {

// A 45-byte long-layout reply with recognisable bytes in every field.
QByteArray longReply(char dhcp = 'N', char levelTwo = 'O')
{
    return QByteArray("QuorvanR") + QByteArray::fromHex("0050c20de405") + dhcp +
           QByteArray("4022\0", 5) + QByteArray::fromHex("c0a8010affffff00c0a801fe08080808") +
           levelTwo + "V3.00.01";
}

QByteArray withBytes(QByteArray bytes, int offset, const QByteArray &field)
{
    return bytes.replace(offset, field.size(), field);
}

// Read from a receive buffer that still holds other bytes beyond the datagram: none of them
// may show in the record.
DeviceRecord parse(const QByteArray &bytes)
{
    std::uint8_t buffer[replyDatagramSize];
    std::memset(buffer, 'x', sizeof buffer);
    std::memcpy(buffer, bytes.constData(), std::size_t(bytes.size()));
    return parseReply(buffer, std::size_t(bytes.size()));
}

// MAC, DHCP, port, IP, mask, gateway, DNS, level 2, version; NUL bytes of texts read '.'.
QByteArray fieldsOf(const DeviceRecord &r)
{
    const auto hex = [](const std::uint8_t *bytes, int size) {
        return bytesOf(bytes, size).toHex();
    };
    const auto text = [](const std::uint8_t *bytes, int size) {
        return bytesOf(bytes, size).replace('\0', '.');
    };
    return QByteArrayList{hex(r.mac, 6),     QByteArray::number(r.dhcp),
                          text(r.port, 6),   hex(r.ip, 4),
                          hex(r.mask, 4),    hex(r.gateway, 4),
                          hex(r.dns, 4),     QByteArray::number(r.cdeNiveau2),
                          text(r.version, 8)}
        .join(' ');
}

} // namespace

class TestProtocol : public StrictTestCase
{
    Q_OBJECT

private slots:
    void readsReplies_data();
    void readsReplies();
    void writeDatagram_data();
    void writeDatagram();
    void replyAndQueryDatagrams();
    void macTextToBytes_data();
    void macTextToBytes();
};

void TestProtocol::readsReplies_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("fields"); // empty: not a reply

    const auto fields = [](const char *dhcp, const char *port, const char *tail) {
        return "0050c20de405 " + QByteArray(dhcp) + ' ' + port +
               " c0a8010a ffffff00 c0a801fe 08080808 " + tail;
    };
    QTest::newRow("long, level 2 on") << longReply() << fields("0", "4022..", "1 V3.00.01");
    QTest::newRow("long, DHCP on, level 2 off")
        << longReply('O', 'N') << fields("1", "4022..", "0 V3.00.01");
    QTest::newRow("DHCP o") << longReply('o') << fields("0", "4022..", "1 V3.00.01");
    QTest::newRow("DHCP 1") << longReply('1') << fields("0", "4022..", "1 V3.00.01");
    // Any byte but 'O' or 'N' at 36 is the short layout: five version bytes from 36 on.
    QTest::newRow("short, 1") << longReply('N', '1') << fields("0", "4022..", "0 1V3.0...");
    QTest::newRow("short, o") << longReply('N', 'o') << fields("0", "4022..", "0 oV3.0...");
    QTest::newRow("short, NUL") << longReply('N', '\0') << fields("0", "4022..", "0 .V3.0...");
    QTest::newRow("long, 41 bytes")
        << longReply('N', 'N').left(41) << fields("0", "4022..", "0 V3.0....");
    QTest::newRow("long, 44 bytes") << longReply().left(44) << fields("0", "4022..", "1 V3.00.0.");
    QTest::newRow("five-digit port")
        << withBytes(longReply(), 15, "65535") << fields("0", "65535.", "1 V3.00.01");
    // Octal escapes: a NUL followed by digits.
    QTest::newRow("port ends at NUL") << withBytes(longReply(), 15, QByteArray("80\00099", 5))
                                      << fields("0", "80....", "1 V3.00.01");
    QTest::newRow("empty port") << withBytes(longReply(), 15, QByteArray("\000123", 4))
                                << fields("0", "......", "1 V3.00.01");
    QTest::newRow("40 bytes") << longReply().left(40) << QByteArray();
    QTest::newRow("write magic") << withBytes(longReply(), 7, "W") << QByteArray();
    QTest::newRow("lower-case magic") << withBytes(longReply(), 0, "q") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestProtocol::readsReplies()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, fields);
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    QCOMPARE(isReply(data, std::size_t(bytes.size())), !fields.isEmpty());
    if (!fields.isEmpty())
        QCOMPARE(fieldsOf(parse(bytes)), fields);
}

void TestProtocol::writeDatagram_data()
{
    QTest::addColumn<DeviceRecord>("record");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray write = "QuorvanW";
    QTest::newRow("DHCP off, level 2 on") << parse(longReply()) << write + longReply().mid(8);
    QTest::newRow("DHCP on, level 2 off")
        << parse(longReply('O', 'N')) << write + longReply('O', 'N').mid(8);
    DeviceRecord anyNonZero = parse(longReply());
    anyNonZero.dhcp = 0x80;
    anyNonZero.cdeNiveau2 = 7;
    QTest::newRow("any non-zero flag is on") << anyNonZero << write + longReply('O', 'O').mid(8);
    QTest::newRow("short layout is written long")
        << parse(longReply('N', 'V'))
        << write + longReply().mid(8, 28) + QByteArray("NVV3.0\0\0\0", 9);
}

void TestProtocol::writeDatagram()
{
    QFETCH(DeviceRecord, record);
    QFETCH(QByteArray, bytes);
    const WriteDatagram datagram = buildWriteDatagram(record);
    QCOMPARE(bytesOf(datagram.data(), int(datagram.size())), bytes);
}

// What the board simulator sends, in both layouts, and the query.
void TestProtocol::replyAndQueryDatagrams()
{
    const DeviceRecord record = parse(longReply());
    const QByteArray longBytes = replyBytes(record, ReplyLayout::Long);
    const QByteArray shortBytes = replyBytes(record, ReplyLayout::Short);
    QCOMPARE(longBytes, longReply());
    QCOMPARE(shortBytes, longReply().left(36) + QByteArray("V3.00\0\0\0\0", 9));
    QCOMPARE(replyLayout(reinterpret_cast<const std::uint8_t *>(longBytes.constData()), 45),
             ReplyLayout::Long);
    QCOMPARE(replyLayout(reinterpret_cast<const std::uint8_t *>(shortBytes.constData()), 45),
             ReplyLayout::Short);
    const QueryDatagram query = queryDatagram();
    QCOMPARE(bytesOf(query.data(), int(query.size())), QByteArray("Quorvan?\0", 9));
}

void TestProtocol::macTextToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("mac");

    QTest::newRow("two digits first") << "00:1a:2b:3c:4d:5e" << QByteArray::fromHex("001a2b3c4d5e");
    QTest::newRow("separator runs") << "::1:2::3:4:5:6:" << QByteArray::fromHex("010203040506");
    QTest::newRow("seventh piece") << "1:2:3:4:5:6:7" << QByteArray::fromHex("010203040506");
    QTest::newRow("too few pieces") << "1:2" << QByteArray::fromHex("010200000000");
    QTest::newRow("upper case is not hex")
        << "A:fF:3c:4d:5e:6f" << QByteArray::fromHex("00f03c4d5e6f");
    QTest::newRow("empty") << "" << QByteArray(6, '\0');
}

void TestProtocol::macTextToBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, mac);
    const MacAddress bytes = ::macTextToBytes(text.toStdString());
    QCOMPARE(bytesOf(bytes.data(), 6), mac);
}

QUORVAN_TEST_MAIN(TestProtocol)
#include "tst_protocol.moc"
