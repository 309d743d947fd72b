#include "app/WebData.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include "app/UpdateCheck.h"

namespace qm {

TWebData::TWebData(QObject* AParent) : QObject(AParent) {}

int TWebData::AddItem(const QUrl& AURL) {
  TWebDataItem item;
  item.URL = AURL;
  FItems.push_back(item);
  return static_cast<int>(FItems.size()) - 1;
}

void TWebData::Start() {
  if (FRunning) return;
  FRunning = true;
  StartItem(0);
}

void TWebData::StartItem(int AIndex) {
  while (AIndex < static_cast<int>(FItems.size()) && !FItems[AIndex].Enabled) ++AIndex;
  if (AIndex >= static_cast<int>(FItems.size())) {
    FRunning = false;
    emit Finished();
    return;
  }
  TWebDataItem& item = FItems[AIndex];
  item.Found = false;
  item.Value.clear();
  if (!item.URL.isValid() || item.URL.isRelative()) {
    emit Error(AIndex, -1);
    StartItem(AIndex + 1);
    return;
  }
  QNetworkRequest request(item.URL);
  request.setHeader(QNetworkRequest::UserAgentHeader, FAgent);
  // Always from the server, never kept: a cached copy would hide a new release.
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                       QNetworkRequest::AlwaysNetwork);
  request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
  request.setTransferTimeout(kTimeoutMs);
  QNetworkReply* reply = FManager.get(request);
  FReply = reply;
  connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 AReceived, qint64) {
    if (AReceived > kMaxBodyBytes) reply->abort();
  });
  connect(reply, &QNetworkReply::finished, this, [this, reply, AIndex] { ItemDone(reply, AIndex); });
}

void TWebData::ItemDone(QNetworkReply* AReply, int AIndex) {
  AReply->deleteLater();
  const QVariant statusAttr = AReply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  const int status = statusAttr.isValid() ? statusAttr.toInt() : -1;
  const bool httpError = status >= 300 && status != 500;
  if (status < 0 || (AReply->error() != QNetworkReply::NoError && status != 500) || httpError) {
    emit Error(AIndex, httpError ? status : -1);
  } else {
    const QByteArray body = AReply->read(kMaxBodyBytes + 1);
    if (body.size() > kMaxBodyBytes) {
      emit Error(AIndex, -1);
    } else {
      TWebDataItem& item = FItems[AIndex];
      // Every byte is one character of the text.
      const QString text = QString::fromLatin1(body);
      if (auto v = ExtractMarkedValue(text, item.StartMarker, item.SecondMarker, item.EndMarker)) {
        item.Found = true;
        item.Value = *v;
        emit DataFound(AIndex, *v);
      }
    }
  }
  StartItem(AIndex + 1);
}

}  // namespace qm
