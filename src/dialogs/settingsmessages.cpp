// SPDX-License-Identifier: MIT
#include "settingsmessages.h"

#include "discovery/devicetext.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

namespace {

// French puts a non-breaking space before a colon or a question mark.
const QString colon = QStringLiteral("\u00a0: ");

QString reason(const SettingsProblem &problem, const DeviceRecord &sent)
{
    const QString ip = addressText(sent.ip);
    const QString subnet = subnetText(addressValue(sent.ip), addressValue(sent.mask));
    switch (problem.kind) {
    case SettingsProblem::None:
    case SettingsProblem::AddressWithDhcp:
    case SettingsProblem::LevelTwoLocked:
        break;
    case SettingsProblem::MaskZero:
        return QStringLiteral("0.0.0.0 ne délimite aucun sous-réseau");
    case SettingsProblem::MaskGap:
        return QStringLiteral("%1 n'est pas un masque de sous-réseau (ses bits à 1 doivent venir "
                              "en tête, sans trou)")
            .arg(addressText(sent.mask));
    case SettingsProblem::IpZero:
        return QStringLiteral("0.0.0.0 n'est pas une adresse qu'une carte puisse prendre");
    case SettingsProblem::IpThisNetwork:
        return QStringLiteral(
                   "%1 fait partie de 0.0.0.0/8, qui désigne «\u00a0ce réseau\u00a0»\u00a0: "
                   "aucune carte ne peut la prendre")
            .arg(ip);
    case SettingsProblem::IpAllOnes:
        return QStringLiteral("255.255.255.255 est l'adresse de diffusion générale");
    case SettingsProblem::IpReserved:
        return QStringLiteral("%1 fait partie de 240.0.0.0/4, plage réservée qu'aucune carte ne "
                              "peut prendre")
            .arg(ip);
    case SettingsProblem::IpLoopback:
        return QStringLiteral("%1 est une adresse de bouclage").arg(ip);
    case SettingsProblem::IpMulticast:
        return QStringLiteral("%1 est une adresse de multidiffusion").arg(ip);
    case SettingsProblem::IpNetwork:
        return QStringLiteral("%1 est l'adresse du réseau %2 lui-même").arg(ip, subnet);
    case SettingsProblem::IpBroadcast:
        return QStringLiteral("%1 est l'adresse de diffusion du réseau %2").arg(ip, subnet);
    case SettingsProblem::IpHeld:
        if (problem.holder.kind == AddressHolder::ThisPc)
            return QStringLiteral("%1 est déjà une adresse de ce PC (%2)")
                .arg(ip, problem.holder.name);
        return QStringLiteral("%1 est déjà l'adresse de la carte %2").arg(ip, problem.holder.name);
    case SettingsProblem::GatewayIsIp:
        return QStringLiteral("%1 est l'adresse IP de la carte elle-même").arg(ip);
    case SettingsProblem::GatewayOutside:
        return QStringLiteral("%1 est hors du nouveau sous-réseau %2")
            .arg(addressText(sent.gateway), subnet);
    case SettingsProblem::GatewayNetwork:
        return QStringLiteral("%1 est l'adresse du nouveau réseau %2 lui-même")
            .arg(addressText(sent.gateway), subnet);
    case SettingsProblem::GatewayBroadcast:
        return QStringLiteral("%1 est l'adresse de diffusion du nouveau réseau %2")
            .arg(addressText(sent.gateway), subnet);
    case SettingsProblem::GatewayNone:
        return QStringLiteral("0.0.0.0 signifie «\u00a0aucune passerelle\u00a0»");
    case SettingsProblem::MaskHostOnly:
        return QStringLiteral("255.255.255.255 laisse la carte seule sur son réseau, sans autre "
                              "machine ni passerelle joignable");
    }
    return QString();
}

// A list after a colon, one problem a line. No full stop ends a line: most end with an
// address, which a full stop would seem to lengthen.
QString problemLines(const QVector<SettingsProblem> &problems, const DeviceRecord &sent)
{
    QStringList lines;
    for (const SettingsProblem &problem : problems)
        lines << QStringLiteral("– ") + fieldLabel(problem.field) + colon + reason(problem, sent);
    return lines.join(QLatin1Char('\n'));
}

// What a setting to be confirmed puts at stake, from the worst: the board cut off from every
// other host, two devices answering for one address, or only hosts beyond a router.
enum class Risk { Unreachable, Conflict, OtherSubnets };

Risk riskOf(const SettingsProblem &problem)
{
    switch (problem.kind) {
    case SettingsProblem::IpHeld:
        return Risk::Conflict;
    case SettingsProblem::GatewayIsIp:
    case SettingsProblem::GatewayOutside:
    case SettingsProblem::GatewayNetwork:
    case SettingsProblem::GatewayBroadcast:
    case SettingsProblem::GatewayNone:
        return Risk::OtherSubnets;
    default:
        return Risk::Unreachable;
    }
}

QString valueText(const DeviceRecord &record, SettingField field)
{
    switch (field) {
    case DhcpField:
        return QString::fromStdString(flagToText(record.dhcp));
    case LevelTwoField:
        return QString::fromStdString(flagToText(record.cdeNiveau2));
    case PortField:
        return QString::fromStdString(portToText(record.port));
    case VersionField:
        return QString::fromStdString(versionToText(record.version));
    default:
        return addressText(addressOf(record, field));
    }
}

// A board without a gateway reports 0.0.0.0.
QString gatewayText(const DeviceRecord &record)
{
    if (addressValue(record.gateway) == 0)
        return QStringLiteral("aucune passerelle");
    return QStringLiteral("passerelle ") + addressText(record.gateway);
}

} // namespace

QString fieldLabel(SettingField field)
{
    switch (field) {
    case IpField:
        return QStringLiteral("Adresse IP");
    case MaskField:
        return QStringLiteral("Masque de sous-réseau");
    case GatewayField:
        return QStringLiteral("Passerelle");
    case DnsField:
        return QStringLiteral("DNS");
    case DhcpField:
        return QStringLiteral("DHCP");
    case LevelTwoField:
        return QStringLiteral("Envoi Id utilisateur");
    case PortField:
        return QStringLiteral("Port");
    case VersionField:
        return QStringLiteral("Version");
    }
    return QString();
}

QString refusalMessage(const QVector<SettingsProblem> &problems, const DeviceRecord &sent)
{
    return QStringLiteral("Ces réglages rendraient la carte injoignable\u00a0:\n") +
           problemLines(problems, sent) + QStringLiteral("\n\nCorrigez-les avant de valider.");
}

QString questionMessage(const QVector<SettingsProblem> &problems, const DeviceRecord &sent)
{
    const QString openings[] = {
        QStringLiteral("Ces réglages risquent de rendre la carte injoignable\u00a0:\n"),
        QStringLiteral("Ces réglages risquent de créer un conflit d'adresses\u00a0:\n"),
        QStringLiteral("Ces réglages risquent de rendre la carte injoignable depuis les autres "
                       "sous-réseaux\u00a0:\n")};
    QStringList paragraphs;
    for (Risk risk : {Risk::Unreachable, Risk::Conflict, Risk::OtherSubnets}) {
        QVector<SettingsProblem> these;
        std::copy_if(problems.cbegin(), problems.cend(), std::back_inserter(these),
                     [risk](const SettingsProblem &problem) { return riskOf(problem) == risk; });
        if (!these.isEmpty())
            paragraphs << openings[int(risk)] + problemLines(these, sent);
    }
    paragraphs << QStringLiteral("Les envoyer quand même\u00a0?");
    return paragraphs.join(QStringLiteral("\n\n"));
}

QString appliedMessage(const DeviceRecord &sent)
{
    return QStringLiteral("La carte %1 a répondu avec les réglages envoyés.")
        .arg(macText(sent.mac));
}

QString differencesMessage(const DeviceRecord &sent, const DeviceRecord &back,
                           const QVector<SettingField> &fields, bool unchanged)
{
    const QString opening =
        unchanged ? QStringLiteral("La carte %1 a répondu avec ses réglages d'avant la mise à "
                                   "jour, sans prendre ceux qui lui ont été envoyés\u00a0:")
                  : QStringLiteral("La carte %1 a répondu après son redémarrage avec d'autres "
                                   "réglages que ceux envoyés\u00a0:");
    QStringList lines{opening.arg(macText(sent.mac))};
    for (SettingField field : fields)
        lines << QStringLiteral("– %1%2envoyé %3, reçu %4")
                     .arg(fieldLabel(field), colon, valueText(sent, field), valueText(back, field));
    lines << QString();
    if (unchanged)
        lines << QStringLiteral("Les réglages ne lui sont peut-être pas parvenus, ou elle les a "
                                "refusés. Renvoyez-les avec «\u00a0Mettre à jour\u00a0»\u00a0; si "
                                "elle les ignore encore, vérifiez-la sur place.");
    else
        lines << QStringLiteral("La carte a peut-être corrigé ou refusé ces valeurs. Vérifiez "
                                "la ligne du tableau, puis renvoyez les réglages voulus avec "
                                "«\u00a0Mettre à jour\u00a0».");
    return lines.join(QLatin1Char('\n'));
}

QString claimMark(const QVector<HeardReply> &replies)
{
    const int devices = int(devicesOf(replies).size());
    const int cards = int(cardsOf(replies).size());
    QStringList what;
    if (devices > 1)
        what << QStringLiteral("%1\u00a0réponses différentes").arg(devices);
    if (cards > 1)
        what << QStringLiteral("reçue par %1\u00a0cartes réseau de ce PC").arg(cards);
    if (what.isEmpty())
        return QString();
    return QStringLiteral("Attention\u00a0: cette adresse MAC a %1. Un autre appareil la "
                          "revendique peut-être.")
        .arg(what.join(QStringLiteral(", ")));
}

QString claimMessage(const QVector<HeardReply> &replies)
{
    if (replies.isEmpty() || claimMark(replies).isEmpty())
        return QString();
    QStringList lines{QStringLiteral("Plusieurs réponses portent l'adresse MAC %1\u00a0:")
                          .arg(macText(replies.first().record.mac))};
    for (const HeardReply &reply : replies) {
        QString card = reply.card.isNull()
                           ? QStringLiteral("carte réseau inconnue")
                           : QStringLiteral("carte réseau %1").arg(reply.card.toString());
        if (!reply.interfaceName.isEmpty())
            card += QStringLiteral(" (%1)").arg(reply.interfaceName);
        lines << QStringLiteral("– IP %1, masque %2, %3, version %4, par la %5")
                     .arg(addressText(reply.record.ip), addressText(reply.record.mask),
                          gatewayText(reply.record),
                          QString::fromStdString(versionToText(reply.record.version)), card);
    }
    lines << QString()
          << QStringLiteral("Les réglages partiront par la carte réseau de la première réponse, "
                            "celle de la ligne du tableau. Un autre appareil portant cette "
                            "adresse MAC les prendrait aussi.");
    return lines.join(QLatin1Char('\n'));
}

QString cannotTellMessage(const DeviceRecord &sent, const QVector<HeardReply> &devices)
{
    QStringList lines{QStringLiteral("Après la mise à jour, plusieurs appareils ont répondu avec "
                                     "l'adresse MAC %1, et aucun ne peut être désigné comme la "
                                     "carte\u00a0:")
                          .arg(macText(sent.mac))};
    for (const HeardReply &device : devices)
        lines << QStringLiteral("– IP %1, masque %2, %3")
                     .arg(addressText(device.record.ip), addressText(device.record.mask),
                          gatewayText(device.record));
    lines << QString()
          << QStringLiteral("Vérifiez les réglages de la carte sur place avant de la modifier "
                            "à nouveau.");
    return lines.join(QLatin1Char('\n'));
}

// The new settings come first among the causes: a board restarts in seconds, and with an
// address, mask or DHCP server that does not fit the network it stays silent.
QString notBackMessage(const DeviceRecord &sent)
{
    const QString settings =
        sent.dhcp != 0
            ? QStringLiteral("DHCP activé (adresse attribuée par le serveur DHCP du réseau)")
            : QStringLiteral("adresse IP %1, masque %2")
                  .arg(addressText(addressOf(sent, IpField)),
                       addressText(addressOf(sent, MaskField)));
    return QStringLiteral(
               "La carte %1 n'a pas répondu à la recherche qui a suivi la mise à jour.\n"
               "Réglages envoyés\u00a0: %2.\n\n"
               "Causes possibles, de la plus probable à la moins probable\u00a0:\n"
               "1. les nouveaux réglages\u00a0: une adresse déjà prise ou qui ne convient pas "
               "au réseau, ou aucun serveur DHCP pour lui en donner une\u00a0;\n"
               "2. elle redémarre encore\u00a0: relancez une recherche avec "
               "«\u00a0Rechercher\u00a0»\u00a0;\n"
               "3. son câble réseau ou le réseau entre elle et ce PC.")
        .arg(macText(sent.mac), settings);
}
