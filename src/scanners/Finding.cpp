#include "scanners/Finding.h"

namespace tw {

const char* const kDiskFileCaption = "磁盘文件错误";
const char* const kDiskDirCaption = "磁盘目录错误";
const char* const kDefaultValueMarker = "@D_e_f_a_u_l_t";

}  // namespace tw
