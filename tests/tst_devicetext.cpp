// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/testsupport.h"
#include "discovery/devicetext.h"
#include "discovery/protocol.h"

class TestDeviceText : public StrictTestCase
{
    Q_OBJECT

private slots:
    void macText_data();
    void macText();
    void fieldTexts_data();
    void fieldTexts();
    void flagText();
    void addressText_data();
    void addressText();
};

namespace {

const std::uint8_t *bytes(const QByteArray &array)
{
    return reinterpret_cast<const std::uint8_t *>(array.constData());
}

} // namespace

void TestDeviceText::macText_data()
{
    QTest::addColumn<QByteArray>("mac");
    QTest::addColumn<QString>("text");
    QTest::newRow("first byte zero") << QByteArray::fromHex("0050c20de405") << "0:50:c2:0d:e4:05";
    QTest::newRow("all below sixteen") << QByteArray::fromHex("0a0b0c0d0e0f") << "a:b:0c:0d:0e:0f";
    QTest::newRow("mixed") << QByteArray::fromHex("10b0c00d100f") << "10:b0:c0:0d:10:0f";
    QTest::newRow("all zero") << QByteArray(6, '\0') << "0:0:00:00:00:00";
    QTest::newRow("all ff") << QByteArray(6, '\xff') << "ff:ff:ff:ff:ff:ff";
}

// The first two groups never carry a leading zero, the last four always have two digits; the
// text reads back into the same bytes, and the key of a MAC is its 48-bit number.
void TestDeviceText::macText()
{
    QFETCH(QByteArray, mac);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(macToText(bytes(mac))), text);
    const MacAddress back = macTextToBytes(text.toStdString());
    QCOMPARE(bytesOf(back.data(), 6), mac);
    QCOMPARE(macKey(back.data()), mac.toHex().toULongLong(nullptr, 16));
}

void TestDeviceText::fieldTexts_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("full") << QByteArray("V3.00.01") << QByteArray("V3.00.01");
    QTest::newRow("short") << QByteArray("V1.\0\0\0\0\0", 8) << QByteArray("V1.");
    QTest::newRow("empty") << QByteArray("\0V3.0\0\0\0", 8) << QByteArray();
    QTest::newRow("control bytes as they are")
        << QByteArray("\x01\x7f<b>x\0\0", 8) << QByteArray("\x01\x7f<b>x");
}

// The version is read from eight bytes, the port from six, each up to its first NUL.
void TestDeviceText::fieldTexts()
{
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(versionToText(bytes(field))), text);
    QCOMPARE(QByteArray::fromStdString(portToText(bytes(field))), text.left(6));
}

void TestDeviceText::flagText()
{
    QCOMPARE(flagToText(0).c_str(), "Non");
    QCOMPARE(flagToText(1).c_str(), "Oui");
    QCOMPARE(flagToText(0xff).c_str(), "Oui");
}

void TestDeviceText::addressText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored"); // empty: refused
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << "192.168.1.254" << QByteArray::fromHex("c0a801fe") << "192.168.1.254";
    QTest::newRow("dots and zeros")
        << ".192.168..001.254." << QByteArray::fromHex("c0a801fe") << "192.168.1.254";
    QTest::newRow("extremes") << "0.255.0000000255.00" << QByteArray::fromHex("00ffff00")
                              << "0.255.255.0";
    const auto refused = [](const char *name, const QString &text) {
        QTest::newRow(name) << text << QByteArray() << QString();
    };
    refused("three pieces", "10.0.0");
    refused("five pieces", "10.0.0.1.5");
    refused("256", "255.255.255.256");
    refused("sign", "1.2.3.+4");
    refused("trailing space", "1.2.3.4 ");
    refused("empty", "");
    refused("dots only", "....");
    refused("letters", "a.b.c.d");
    // Digits enough to wrap a 32-bit or a 64-bit number round to a small one.
    refused("2^32", "1.2.3.4294967296");
    refused("2^64 + 7", "1.1.1.18446744073709551623");
    refused("non-ASCII digit", QString::fromUtf8("1.2.3.\u0664"));
}

void TestDeviceText::addressText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    QFETCH(QString, shown);
    const std::string input = text.toUtf8().toStdString();
    QCOMPARE(isValidAddress(input), !stored.isEmpty());
    std::uint8_t field[4] = {1, 2, 3, 4};
    QCOMPARE(storeAddressText(input, field), !stored.isEmpty());
    QCOMPARE(bytesOf(field, 4), stored.isEmpty() ? QByteArray::fromHex("01020304") : stored);
    if (!stored.isEmpty())
        QCOMPARE(QString::fromStdString(addressToText(field)), shown);
}

QUORVAN_TEST_MAIN(TestDeviceText)
#include "tst_devicetext.moc"
