#pragma once
// The user's transfer options (quellix.ini) turned into the connector's
// settings: the proxy ("网络代理") and the rate limits ("上传限速",
// "下载限速"). The proxy's password is not among the options (it lives in
// the desktop's keyring): the caller passes it in.

#include "config/transferoptions.h"
#include "net/netconnector.h"

#include <QByteArray>

// None: direct. System: the environment's variables (taken now). HTTP: an
// HTTP proxy, CONNECT for every connection. SOCKS5: names resolved by the
// proxy (the client may not be able to resolve outside names; nor does the
// local name service learn where the program goes). A proxy without a host
// is no proxy; a port of 0 is the type's usual one (8080, 1080). Limits
// are in KB/s of 1024 bytes; 0 is none.
NetConnectorSettings ConnectorSettingsFrom(const TransferOptions& options, const QByteArray& proxyPassword,
                                           const NetProxyEnvironment& environment = NetProxyEnvironment::fromProcess());

// Applies the options to `connector`: the limits hold at once for running
// transfers, the proxy for every connection made from now on.
void ApplyTransferOptions(NetConnector& connector, const TransferOptions& options, const QByteArray& proxyPassword);
