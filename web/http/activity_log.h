#pragma once
// Daily CSV activity files in the data folder's "Logs": "<date><suffix>.csv".
void LActivityLogWrite(const char* category_suffix, const char* text);
void LActivityLogWriteW(const char* category_suffix, const char16_t* text);
