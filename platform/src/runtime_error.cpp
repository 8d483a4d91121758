#include "platform/runtime_error.h"

#include <map>

namespace sv {

namespace {
const std::map<int, const char*>& standardTexts() {
  static const std::map<int, const char*> texts = {
      {3, "Return without GoSub"},
      {5, "Invalid procedure call or argument"},
      {6, "Overflow"},
      {7, "Out of memory"},
      {9, "Subscript out of range"},
      {10, "This array is fixed or temporarily locked"},
      {11, "Division by zero"},
      {13, "Type mismatch"},
      {14, "Out of string space"},
      {16, "Expression too complex"},
      {17, "Can't perform requested operation"},
      {18, "User interrupt occurred"},
      {20, "Resume without error"},
      {28, "Out of stack space"},
      {35, "Sub or Function not defined"},
      {47, "Too many DLL application clients"},
      {48, "Error in loading DLL"},
      {49, "Bad DLL calling convention"},
      {51, "Internal error"},
      {52, "Bad file name or number"},
      {53, "File not found"},
      {54, "Bad file mode"},
      {55, "File already open"},
      {57, "Device I/O error"},
      {58, "File already exists"},
      {59, "Bad record length"},
      {61, "Disk full"},
      {62, "Input past end of file"},
      {63, "Bad record number"},
      {67, "Too many files"},
      {68, "Device unavailable"},
      {70, "Permission denied"},
      {71, "Disk not ready"},
      {74, "Can't rename with different drive"},
      {75, "Path/File access error"},
      {76, "Path not found"},
      {91, "Object variable or With block variable not set"},
      {92, "For loop not initialized"},
      {93, "Invalid pattern string"},
      {94, "Invalid use of Null"},
      {298, "System DLL could not be loaded"},
      {320, "Can't use character device names in specified file names"},
      {321, "Invalid file format"},
      {322, "Can't create necessary temporary file"},
      {325, "Invalid format in resource file"},
      {327, "Data value named not found"},
      {328, "Illegal parameter; can't write arrays"},
      {335, "Could not access system registry"},
      {336, "Component not correctly registered"},
      {337, "Component not found"},
      {338, "Component did not run correctly"},
      {360, "Object already loaded"},
      {361, "Can't load or unload this object"},
      {363, "Control specified not found"},
      {364, "Object was unloaded"},
      {365, "Unable to unload within this context"},
      {380, "Invalid property value"},
      {381, "Invalid property-array index"},
      {382, "Set not supported at runtime"},
      {383, "Set not supported (read-only property)"},
      {385, "Need property-array index"},
      {387, "Set not permitted"},
      {393, "Get not supported at runtime"},
      {394, "Get not supported (write-only property)"},
      {400, "Form already displayed; can't show modally"},
      {402, "Code must close topmost modal form first"},
      {419, "Permission to use object denied"},
      {422, "Property not found"},
      {423, "Property or method not found"},
      {424, "Object required"},
      {425, "Invalid object use"},
      {429, "ActiveX component can't create object"},
      {430, "Class does not support Automation or does not support expected interface"},
      {438, "Object doesn't support this property or method"},
      {440, "Automation error"},
      {445, "Object doesn't support this action"},
      {446, "Object doesn't support named arguments"},
      {448, "Named argument not found"},
      {449, "Argument not optional"},
      {450, "Wrong number of arguments or invalid property assignment"},
      {451, "Property let procedure not defined and property get procedure did not return an object"},
      {452, "Invalid ordinal"},
      {453, "Specified DLL function not found"},
      {454, "Code resource not found"},
      {455, "Code resource lock error"},
      {457, "This key is already associated with an element of this collection"},
      {458, "Variable uses an Automation type not supported in Visual Basic"},
      {459, "Object or class does not support the set of events"},
      {460, "Invalid clipboard format"},
      {461, "Method or data member not found"},
      {462, "The remote server machine does not exist or is unavailable"},
      {463, "Class not registered on local machine"},
      {481, "Invalid picture"},
      {482, "Printer error"},
      {735, "Can't save file to TEMP"},
      {744, "Search text not found"},
      {746, "Replacements too long"},
  };
  return texts;
}
}  // namespace

QString StandardErrorDescription(int number) {
  const auto& texts = standardTexts();
  const auto it = texts.find(number);
  if (it != texts.end()) return QString::fromLatin1(it->second);
  return QStringLiteral("Application-defined or object-defined error");
}

RuntimeError::RuntimeError(int number, QString source, QString description)
    : number_(number),
      source_(source.isEmpty() ? QString::fromLatin1(kProgramSource) : std::move(source)),
      description_(description.isEmpty() ? StandardErrorDescription(number) : std::move(description)),
      what_(ErrorText(number_, description_).toStdString()) {}

void Raise(int number, const QString& source, const QString& description) {
  throw RuntimeError(number, source, description);
}

QString ErrorText(int number, const QString& description) {
  return QStringLiteral("Error#") + QString::number(number) + QLatin1Char(',') + description;
}

QString ErrorText(const RuntimeError& error) { return ErrorText(error.number(), error.description()); }

}  // namespace sv
