// The control's C interface: the late-bound members and events over the typed control.
#include "cdwriter.h"

#include "dispatch.h"

#include <QTimer>

#include <new>

struct CDWriter {
  cdw::CDWriter control;
  std::string resultText;  // the last text result, kept until the next call
  CDWriterEventProc handler = nullptr;
  void* context = nullptr;
  int delivering = 0;
  bool destroyed = false;

  CDWriter() : control(cdw::CDWriter::AllWriters()) {}
};

namespace {

CDWriterValue toC(const cdw::Value& v, std::string* keep) {
  CDWriterValue out{CDW_EMPTY, 0, nullptr};
  if (const auto* b = std::get_if<bool>(&v)) out = {CDW_BOOL, *b ? -1 : 0, nullptr};
  if (const auto* i = std::get_if<std::int16_t>(&v)) out = {CDW_I2, *i, nullptr};
  if (const auto* i = std::get_if<std::int32_t>(&v)) out = {CDW_I4, *i, nullptr};
  if (const auto* s = std::get_if<std::string>(&v)) {
    *keep = *s;
    out = {CDW_TEXT, 0, keep->c_str()};
  }
  return out;
}

bool fromC(const CDWriterValue& in, cdw::Value& out) {
  switch (in.type) {
    case CDW_BOOL:
      out = in.number != 0;
      return true;
    case CDW_I2:
      out = static_cast<std::int16_t>(in.number);
      return true;
    case CDW_I4:
      out = in.number;
      return true;
    case CDW_TEXT:
      out = std::string(in.text ? in.text : "");
      return true;
    case CDW_EMPTY:
      out = std::monostate{};
      return true;
    default:
      return false;
  }
}

void deliver(CDWriter* w, const cdw::Event& event) {
  if (w->destroyed || !w->handler) return;
  const auto values = cdw::EventArguments(event);
  std::vector<std::string> texts(values.size());
  std::vector<CDWriterValue> args;
  for (std::size_t i = 0; i < values.size(); ++i) args.push_back(toC(values[i], &texts[i]));
  ++w->delivering;
  w->handler(w->context, cdw::EventName(event.id), args.data(), static_cast<int32_t>(args.size()));
  --w->delivering;
  // Destroyed from inside the handler: freed once the handler's call has unwound.
  if (w->destroyed && w->delivering == 0) QTimer::singleShot(0, [w] { delete w; });
}

}  // namespace

extern "C" {

CDWriter* CDWriterCreate(void) {
  try {
    auto* w = new CDWriter;
    w->control.SetEventHandler([w](const cdw::Event& e) { deliver(w, e); });
    return w;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void CDWriterDestroy(CDWriter* w) {
  if (!w || w->destroyed) return;
  w->destroyed = true;
  w->handler = nullptr;
  if (w->delivering == 0) delete w;
}

int32_t CDWriterInvoke(CDWriter* w, int32_t member, int32_t kind, CDWriterValue* args, int32_t count,
                       CDWriterValue* result) {
  if (!w || w->destroyed || count < 0 || (count > 0 && !args)) return CDW_E_ARGUMENT;
  if (kind != CDW_METHOD && kind != CDW_GET && kind != CDW_PUT) return CDW_E_MEMBER;
  std::vector<cdw::Value> values(static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count; ++i)
    if (!fromC(args[i], values[static_cast<std::size_t>(i)])) return CDW_E_TYPE;
  cdw::Value out;
  const auto r = cdw::Invoke(w->control, member, static_cast<cdw::Kind>(kind), values, out);
  if (r != cdw::InvokeResult::Ok) return static_cast<int32_t>(r);
  // By-reference numbers come back updated.
  for (int32_t i = 0; i < count; ++i)
    if (const auto* n = std::get_if<std::int16_t>(&values[static_cast<std::size_t>(i)]);
        n && args[i].type != CDW_TEXT)
      args[i].number = *n;
  if (result) *result = toC(out, &w->resultText);
  return CDW_OK;
}

void CDWriterConnect(CDWriter* w, CDWriterEventProc handler, void* context) {
  if (!w || w->destroyed) return;
  w->handler = handler;
  w->context = context;
}

}  // extern "C"
