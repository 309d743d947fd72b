#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <vector>

class QNetworkReply;

// Downloads small text files over HTTP and extracts a value from each. The transfers run
// asynchronously inside Qt Network; every signal arrives in the thread that owns the object
// (the user-interface thread), so a handler may show a message box.
namespace qm {

struct TWebDataItem {
  QUrl URL;
  QString StartMarker;   // empty: the value is the whole text
  QString SecondMarker;
  QString EndMarker;
  bool Enabled = true;
  bool Found = false;
  QString Value;
};

class TWebData final : public QObject {
  Q_OBJECT
public:
  // Bodies beyond this size are not update-information files; the item fails.
  static constexpr qint64 kMaxBodyBytes = 64 * 1024;
  static constexpr int kTimeoutMs = 30'000;

  explicit TWebData(QObject* AParent = nullptr);

  std::vector<TWebDataItem>& Items() { return FItems; }
  int AddItem(const QUrl& AURL);
  void SetAgent(const QString& AAgent) { FAgent = AAgent; }

  // Starts one pass over the enabled items, one after another. Ignored while a pass runs.
  void Start();
  [[nodiscard]] bool Running() const { return FRunning; }

signals:
  void DataFound(int AIndex, const QString& AValue);
  // AStatus: the HTTP status, or -1 when the address could not be reached or read.
  void Error(int AIndex, int AStatus);
  void Finished();

private:
  void StartItem(int AIndex);
  void ItemDone(QNetworkReply* AReply, int AIndex);

  QNetworkAccessManager FManager;
  std::vector<TWebDataItem> FItems;
  QString FAgent = QStringLiteral("WebData");
  QPointer<QNetworkReply> FReply;
  bool FRunning = false;
};

}  // namespace qm
