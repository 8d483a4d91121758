// The CD-writer control as the burn window holds it: the cdwriter library, loaded by name at
// the first control made, its members called by number and its events received by name.
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>

struct CDWriter;
struct CDWriterValue;

namespace sv {

class CDWriterControl : public QObject {
  Q_OBJECT
 public:
  enum class Kind { Method = 1, Get = 2, Put = 4 };

  // A new control with the writers of this machine. Run-time errors 53 and 453 when the
  // library or one of its calls is missing, 7 when it cannot make the control.
  explicit CDWriterControl(QObject* parent = nullptr);
  ~CDWriterControl() override;

  // Member `member` called late-bound. Values are bool (Boolean), short (16-bit), int (32-bit)
  // and QString; by-reference arguments come back updated in `args`. Failures are run-time
  // errors: 438 no such member, 450 wrong number of arguments, 13 type mismatch, 5 an
  // argument out of range.
  QVariant Invoke(int member, Kind kind, QVariantList& args);
  QVariant Get(int member, QVariantList&& args = {}) { return Invoke(member, Kind::Get, args); }
  void Put(int member, const QVariant& value) {
    QVariantList args{value};
    Invoke(member, Kind::Put, args);
  }
  // By-reference arguments come back in a list the caller holds.
  QVariant Call(int member, QVariantList& args) { return Invoke(member, Kind::Method, args); }
  QVariant Call(int member, QVariantList&& args = {}) { return Invoke(member, Kind::Method, args); }

 signals:
  // An event of the control, on the thread that made it; arguments typed as in Invoke.
  void Event(const QString& name, const QVariantList& args);

 private:
  static void OnEvent(void* context, const char* name, const ::CDWriterValue* args, int count);
  CDWriter* writer_ = nullptr;
};

}  // namespace sv
