#include "common/error_message_db.h"

#include "common/my_ini.h"
#include "common/string_args.h"

GlobalObject<ErrorMessageDatabase> gErrMsgDB;

class ErrorMessageDatabase::Impl {
 public:
  // The stored text of (section, code), or null. The key is the code as
  // "%d" prints it, so -5 finds "-5" but never "-05" or "+5".
  const AnsiString* Find(const AnsiString& section, std::int32_t code) const {
    const auto keys = file.Sections.find(section);
    if (keys == file.Sections.end()) return nullptr;
    const auto text = keys->second.find(AnsiString(code));
    return text == keys->second.end() ? nullptr : &text->second;
  }

  TMyINI<AnsiString> file;
};

ErrorMessageDatabase::ErrorMessageDatabase() : impl_(new Impl) {}

ErrorMessageDatabase::~ErrorMessageDatabase() { delete impl_; }

bool ErrorMessageDatabase::Load(const char* file_name) {
  return impl_->file.Load(file_name) == kIniOk;
}

bool ErrorMessageDatabase::GetMessage(const AnsiString& section,
                                      std::int32_t code,
                                      AnsiString& text) const {
  const AnsiString* stored = impl_->Find(section, code);
  if (stored == nullptr) return false;
  text = *stored;
  return true;
}

bool ErrorMessageDatabase::Format(const AnsiString& section, std::int32_t code,
                                  AnsiString& text,
                                  const AnsiString& argument) const {
  const AnsiString* stored = impl_->Find(section, code);
  if (stored == nullptr) return false;
  text = FillStringArgs(stored->c_str(), {argument.c_str()});
  return true;
}

bool ErrorMessageDatabase::Format(const AnsiString& section, std::int32_t code,
                                  AnsiString& text, const AnsiString& first,
                                  const AnsiString& second) const {
  const AnsiString* stored = impl_->Find(section, code);
  if (stored == nullptr) return false;
  text = FillStringArgs(stored->c_str(), {first.c_str(), second.c_str()});
  return true;
}

AnsiString MissingErrorText(const AnsiString& section, std::int32_t code,
                            const AnsiString& arguments) {
  AnsiString text;
  text.sprintf("%s error %d (no text in the error-text file)", section.c_str(),
               static_cast<int>(code));
  if (!arguments.IsEmpty()) text += ": " + arguments;
  return text;
}
