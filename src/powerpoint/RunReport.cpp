#include "src/powerpoint/RunReport.h"

namespace powerpoint {

std::wstring DescribePlace(const RunPlace& where) {
  if (where.slide < 1) return {};
  std::wstring text = (where.notes ? L"notes page of slide " : L"slide ") + std::to_wstring(where.slide);
  if (!where.shape.empty()) text += L", shape \"" + where.shape + L"\"";
  return text;
}

}  // namespace powerpoint
