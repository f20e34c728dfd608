// SPDX-License-Identifier: MIT
#include "common/testsupport.h"
#include "discovery/devicetext.h"
#include "discovery/protocol.h"

#include <QRegularExpression>

class TestDeviceText : public StrictTestCase
{
    Q_OBJECT

private slots:
    void macText_data();
    void macText();
    void macTextGroupsForEveryByteSize();
    void addressText_data();
    void addressText();
    void flagText_data();
    void flagText();
    void fieldTextsEndAtNul_data();
    void fieldTextsEndAtNul();
    void validAddress_data();
    void validAddress();
    void storedAddress_data();
    void storedAddress();
};

void TestDeviceText::macText_data()
{
    QTest::addColumn<QByteArray>("mac");
    QTest::addColumn<QString>("text");
    QTest::newRow("first byte zero") << QByteArray::fromHex("0050c20de405") << "0:50:c2:0d:e4:05";
    QTest::newRow("all below sixteen") << QByteArray::fromHex("0a0b0c0d0e0f") << "a:b:0c:0d:0e:0f";
    QTest::newRow("mixed") << QByteArray::fromHex("a0b0c00dc20f") << "a0:b0:c0:0d:c2:0f";
    QTest::newRow("all zero") << QByteArray(6, '\0') << "0:0:00:00:00:00";
    QTest::newRow("all ff") << QByteArray(6, '\xff') << "ff:ff:ff:ff:ff:ff";
}

void TestDeviceText::macText()
{
    QFETCH(QByteArray, mac);
    QFETCH(QString, text);
    QCOMPARE(
        QString::fromStdString(macToText(reinterpret_cast<const std::uint8_t *>(mac.constData()))),
        text);
}

// Every combination of small and large bytes in all six groups: the first two groups
// never carry a leading zero, the last four always have two digits, and the text reads
// back into the same six bytes.
void TestDeviceText::macTextGroupsForEveryByteSize()
{
    const QRegularExpression shape(QStringLiteral(
        "^[0-9a-f]{1,2}:[0-9a-f]{1,2}:[0-9a-f]{2}:[0-9a-f]{2}:[0-9a-f]{2}:[0-9a-f]{2}$"));
    for (int combination = 0; combination < 64; ++combination) {
        std::uint8_t mac[6];
        for (int i = 0; i < 6; ++i)
            mac[i] = (combination >> i) & 1 ? std::uint8_t(0x10 + 0x1f * i) : std::uint8_t(i + 1);
        const QString text = QString::fromStdString(macToText(mac));
        QVERIFY2(shape.match(text).hasMatch(), qPrintable(text));
        const QStringList groups = text.split(QLatin1Char(':'));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(groups.at(i).size(), mac[i] < 16 ? 1 : 2);
        const MacAddress back = macTextToBytes(text.toStdString());
        QVERIFY2(std::equal(back.begin(), back.end(), mac), qPrintable(text));
    }
}

void TestDeviceText::addressText_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("text");
    QTest::newRow("ip") << QByteArray::fromHex("0a0000fe") << "10.0.0.254";
    QTest::newRow("mask") << QByteArray::fromHex("ffffff00") << "255.255.255.0";
    QTest::newRow("zero") << QByteArray(4, '\0') << "0.0.0.0";
    QTest::newRow("private") << QByteArray::fromHex("c0a8010a") << "192.168.1.10";
}

void TestDeviceText::addressText()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(
                 addressToText(reinterpret_cast<const std::uint8_t *>(address.constData()))),
             text);
}

void TestDeviceText::flagText_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "Non";
    QTest::newRow("one") << 1 << "Oui";
    QTest::newRow("any non-zero") << 0xff << "Oui";
}

void TestDeviceText::flagText()
{
    QFETCH(int, flag);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(flagToText(std::uint8_t(flag))), text);
}

void TestDeviceText::fieldTextsEndAtNul_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("port");
    QTest::addColumn<QByteArray>("versionText");
    QTest::addColumn<QByteArray>("portText");
    QTest::newRow("full") << QByteArray("V3.00.01") << QByteArray("65535\0", 6)
                          << QByteArray("V3.00.01") << QByteArray("65535");
    QTest::newRow("short") << QByteArray("V1.\0\0\0\0\0", 8) << QByteArray("4022\0\0", 6)
                           << QByteArray("V1.") << QByteArray("4022");
    QTest::newRow("empty") << QByteArray("\0V3.0\0\0\0", 8)
                           << QByteArray("\0"
                                         "80\0\0\0",
                                         6)
                           << QByteArray() << QByteArray();
    QTest::newRow("control bytes as they are")
        << QByteArray("\x01\x7f<b>x\0\0", 8) << QByteArray("\t1\0\0\0\0", 6)
        << QByteArray("\x01\x7f<b>x") << QByteArray("\t1");
}

void TestDeviceText::fieldTextsEndAtNul()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, port);
    QFETCH(QByteArray, versionText);
    QFETCH(QByteArray, portText);
    QCOMPARE(QByteArray::fromStdString(
                 versionToText(reinterpret_cast<const std::uint8_t *>(version.constData()))),
             versionText);
    QCOMPARE(QByteArray::fromStdString(
                 portToText(reinterpret_cast<const std::uint8_t *>(port.constData()))),
             portText);
}

void TestDeviceText::validAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "10.0.0.1" << true;
    QTest::newRow("double dot") << "10..0.0.1" << true;
    QTest::newRow("outer dots") << ".10.0.0.1." << true;
    QTest::newRow("leading zeros") << "010.001.000.007" << true;
    QTest::newRow("long leading zeros") << "0000000255.0.0.1" << true;
    QTest::newRow("three pieces") << "10.0.0" << false;
    QTest::newRow("five pieces") << "10.0.0.1.5" << false;
    QTest::newRow("256") << "255.255.255.256" << false;
    QTest::newRow("sign") << "1.2.3.+4" << false;
    QTest::newRow("minus") << "1.2.3.-4" << false;
    QTest::newRow("trailing space") << "1.2.3.4 " << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dots only") << "...." << false;
    QTest::newRow("letters") << "a.b.c.d" << false;
    QTest::newRow("twenty nines") << "99999999999999999999.0.0.1" << false;
    QTest::newRow("2^32") << "1.2.3.4294967296" << false;
    QTest::newRow("2^32 + 1") << "4294967297.0.0.1" << false;
    QTest::newRow("2^64 + 7") << "1.1.1.18446744073709551623" << false;
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("1.2.3.\u0664") << false;
}

void TestDeviceText::validAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(isValidAddress(text.toUtf8().toStdString()), valid);
}

void TestDeviceText::storedAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("plain") << "192.168.1.254" << QByteArray::fromHex("c0a801fe");
    QTest::newRow("dots and zeros") << "192.168..001.254." << QByteArray::fromHex("c0a801fe");
    QTest::newRow("extremes") << "0.255.0000000255.00" << QByteArray::fromHex("00ffff00");
}

void TestDeviceText::storedAddress()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    std::uint8_t field[4] = {9, 9, 9, 9};
    QVERIFY(storeAddressText(text.toStdString(), field));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(field), 4), stored);

    std::uint8_t untouched[4] = {1, 2, 3, 4};
    QVERIFY(!storeAddressText("1.2.3", untouched));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(untouched), 4),
             QByteArray::fromHex("01020304"));
}

QUORVAN_TEST_MAIN(TestDeviceText)
#include "tst_devicetext.moc"
