// Points the two list downloads somewhere else for the lifetime of the object.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "commXdata/commXdata.h"

class ScopedListUrls {
public:
    ScopedListUrls()
    {
        std::memcpy(savedFw_, fwUpdateURL, sizeof savedFw_);
        std::memcpy(savedPl_, tarProductURL, sizeof savedPl_);
    }
    ~ScopedListUrls()
    {
        std::memcpy(fwUpdateURL, savedFw_, sizeof savedFw_);
        std::memcpy(tarProductURL, savedPl_, sizeof savedPl_);
    }
    ScopedListUrls(const ScopedListUrls&) = delete;
    ScopedListUrls& operator=(const ScopedListUrls&) = delete;

    // The firmware list at base + "/fw", the target product list at base + "/pl".
    void PointAt(const std::string& base)
    {
        std::snprintf(fwUpdateURL, sizeof fwUpdateURL, "%s/fw", base.c_str());
        std::snprintf(tarProductURL, sizeof tarProductURL, "%s/pl", base.c_str());
    }

private:
    char savedFw_[sizeof fwUpdateURL];
    char savedPl_[sizeof tarProductURL];
};
