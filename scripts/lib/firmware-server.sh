# The maker's side for the demo and the screenshots, sourced by both: an encrypted firmware 1.80
# for product 0a1b, the local web server over WORK/www, and the catalogue that names it.
#   start_firmware_server WORK FLASH_BYTES
# Needs PACK and HTTPD; sets URL and appends the server's process to PIDS.
start_firmware_server() {
  local work=$1 size=$2
  mkdir -p "$work/www/firmware"
  "$PACK" --code 0a1b --version 1.80 --size "$size" -o "$work/www/firmware/vornet_amp_v180.hex"
  "$HTTPD" --root "$work/www" >"$work/httpd.url" &
  PIDS+=($!)
  for _ in $(seq 100); do [ -s "$work/httpd.url" ] && break; sleep 0.05; done
  URL=$(head -n1 "$work/httpd.url")
  [ -n "$URL" ] || { echo "$(basename "$0"): the web server did not start" >&2; return 1; }
  cat >"$work/www/vornet_verinfo.xml" <<XML
<?xml version="1.0" encoding="ISO-8859-1"?>
<VORNET>
<VORNET_VERSIONS>
  <VORNET_UPDATE_FOLDER_URL>$URL</VORNET_UPDATE_FOLDER_URL>
</VORNET_VERSIONS>
<VORNET_FIRM_VERSIONS>
  <VORNET_PRODUCT_CODES>VORnet_Amp=0a1b</VORNET_PRODUCT_CODES>
  <VORNET_FIRM_URL>$URL/firmware</VORNET_FIRM_URL>
  <VOR_VORnet_Amp_V>1.80</VOR_VORnet_Amp_V>
  <VOR_VORnet_Amp_HEX>vornet_amp_v180.hex</VOR_VORnet_Amp_HEX>
</VORNET_FIRM_VERSIONS>
</VORNET>
XML
}
