#include "CDWriterControl.h"

#include "cdwriter.h"
#include "platform/fault_guard.h"
#include "platform/library_loader.h"
#include "platform/runtime_error.h"

#include <QFile>

#include <string>
#include <vector>

namespace sv {
namespace {

using CreateProc = CDWriter* (*)();
using DestroyProc = void (*)(CDWriter*);
using InvokeProc = int32_t (*)(CDWriter*, int32_t, int32_t, CDWriterValue*, int32_t, CDWriterValue*);
using ConnectProc = void (*)(CDWriter*, CDWriterEventProc, void*);

SharedLibrary& library() {
  static SharedLibrary lib("cdwriter");
  return lib;
}

QVariant fromC(const CDWriterValue& v) {
  switch (v.type) {
    case CDW_BOOL:
      return QVariant(v.number != 0);
    case CDW_I2:
      return QVariant::fromValue(static_cast<short>(v.number));
    case CDW_I4:
      return QVariant(static_cast<int>(v.number));
    case CDW_TEXT:
      return QVariant(QString::fromUtf8(v.text ? v.text : ""));
    default:
      return {};
  }
}

}  // namespace

CDWriterControl::CDWriterControl(QObject* parent) : QObject(parent) {
  auto create = library().function<CreateProc>("CDWriterCreate");
  auto connect = library().function<ConnectProc>("CDWriterConnect");
  library().function<InvokeProc>("CDWriterInvoke");
  library().function<DestroyProc>("CDWriterDestroy");
  writer_ = GuardedCall([&] { return create(); });
  if (!writer_) Raise(errOutOfMemory, QStringLiteral("CDWriterXP"));
  connect(writer_, &CDWriterControl::OnEvent, this);
}

CDWriterControl::~CDWriterControl() {
  if (writer_) library().function<DestroyProc>("CDWriterDestroy")(writer_);
}

QVariant CDWriterControl::Invoke(int member, Kind kind, QVariantList& args) {
  // Texts stay alive for the call; numbers keep their width.
  std::vector<std::string> texts(static_cast<std::size_t>(args.size()));
  std::vector<CDWriterValue> values;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QVariant& a = args[i];
    CDWriterValue v{CDW_EMPTY, 0, nullptr};
    switch (a.typeId()) {
      case QMetaType::Bool:
        v = {CDW_BOOL, a.toBool() ? -1 : 0, nullptr};
        break;
      case QMetaType::Short:
      case QMetaType::UShort:
      case QMetaType::SChar:
      case QMetaType::UChar:
        v = {CDW_I2, a.toInt(), nullptr};
        break;
      case QMetaType::Int:
      case QMetaType::UInt:
      case QMetaType::Long:
      case QMetaType::LongLong:
        v = {CDW_I4, a.toInt(), nullptr};
        break;
      case QMetaType::QString:
        texts[static_cast<std::size_t>(i)] = QFile::encodeName(a.toString()).toStdString();
        v = {CDW_TEXT, 0, texts[static_cast<std::size_t>(i)].c_str()};
        break;
      default:
        Raise(errTypeMismatch, QStringLiteral("CDWriterXP"));
    }
    values.push_back(v);
  }
  CDWriterValue result{CDW_EMPTY, 0, nullptr};
  auto invoke = library().function<InvokeProc>("CDWriterInvoke");
  const int32_t r = GuardedCall([&] {
    return invoke(writer_, member, static_cast<int32_t>(kind), values.data(),
                  static_cast<int32_t>(values.size()), &result);
  });
  switch (r) {
    case CDW_OK:
      break;
    case CDW_E_MEMBER:
      Raise(438, QStringLiteral("CDWriterXP"));
    case CDW_E_COUNT:
      Raise(450, QStringLiteral("CDWriterXP"));
    case CDW_E_TYPE:
      Raise(errTypeMismatch, QStringLiteral("CDWriterXP"));
    default:
      Raise(errInvalidProcedureCall, QStringLiteral("CDWriterXP"));
  }
  for (qsizetype i = 0; i < args.size(); ++i)
    if (values[static_cast<std::size_t>(i)].type != CDW_TEXT &&
        values[static_cast<std::size_t>(i)].type != CDW_BOOL)
      args[i] = values[static_cast<std::size_t>(i)].type == CDW_I2
                    ? QVariant::fromValue(static_cast<short>(values[static_cast<std::size_t>(i)].number))
                    : QVariant(static_cast<int>(values[static_cast<std::size_t>(i)].number));
  return fromC(result);
}

void CDWriterControl::OnEvent(void* context, const char* name, const CDWriterValue* args, int count) {
  QVariantList values;
  for (int i = 0; i < count; ++i) values.push_back(fromC(args[i]));
  emit static_cast<CDWriterControl*>(context)->Event(QString::fromLatin1(name), values);
}

}  // namespace sv
