#include "update/updateaddress.h"

QUrl defaultUpdateBaseUrl()
{
    // https: the installer is a program the user will run; fetched in clear
    // text, anyone on the path could swap it.
    return QUrl(QStringLiteral("https://" TESSEL_UPDATE_HOST));
}
