// Beacon and send gate. (Built with usage reporting.)
#include "commXdata/commXdata.h"

int commXdata::send(_xdate_send_info_t) { return 1; }
bool commXdata::canSend() { return false; }
std::string commXdata::getDatetimeStr() { return std::string(); }
std::string commXdata::getLocalDateTimeStr() { return std::string(); }
