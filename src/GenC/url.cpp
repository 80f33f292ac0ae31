#include "GenH/shell.h"
#include "Linux/lin_url.h"

url_opener_fn MACIBM_url_opener = LIN_open_url;

void go_to_URL(std::string address) {
  if (address.size() >= 500)
    __MACIBM_alert(0, "String too long!", address, "", "", t_exit, __FILE__, __LINE__);
  if (MACIBM_url_opener) MACIBM_url_opener(address);
}
