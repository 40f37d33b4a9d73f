// A picture of the whole screen as a BMP file, for what ./run.sh shows of the dialog.
#pragma once

#include <string>

bool SaveScreenAsBitmap(const std::wstring& path);
