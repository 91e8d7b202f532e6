#include "bench/documents.h"

#include <cstdio>

namespace {

void Value(std::string& out, const char* indent, const char* name, const std::string& value) {
  out += indent;
  out += '<';
  out += name;
  out += " value=\"";
  out += value;
  out += "\"/>\n";
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace

std::string DiscoveryDocument(int devices) {
  std::string out = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  out += "<korvel_rom_discovery version=\"4.0.0.1\">\n";
  Value(out, "\t", "type", "QLOGIC_NIC");
  Value(out, "\t", "version", "2.1.7");
  Value(out, "\t", "takes_effect", "After the next reboot &amp; power cycle");
  out += "\t<devices>\n";
  const char* d = "\t\t\t";
  const char* f = "\t\t\t\t";
  for (int i = 0; i < devices; ++i) {
    out += "\t\t<device>\n";
    Value(out, d, "device_id", "Local Area Connection #" + std::to_string(i + 1));
    Value(out, d, "venid", "0x4040");
    Value(out, d, "devid", "0x0100");
    Value(out, d, "subvenid", "0x103C");
    Value(out, d, "subdevid", "0x705A");
    Value(out, d, "macaddress",
          "00:0E:1E:" + Hex((i >> 16) & 0xFF, 2) + ":" + Hex((i >> 8) & 0xFF, 2) + ":" +
              Hex(i & 0xFF, 2));
    Value(out, d, "product_id", "NC375T PCI Express Quad Port Gigabit Server Adapter &amp; HBA");
    Value(out, d, "busnumber", Hex(static_cast<unsigned>(i / 4) & 0xFF, 2));
    Value(out, d, "devicenumber", "00");
    Value(out, d, "funcnumber", std::to_string(i % 4));
    Value(out, d, "slotnumber", std::to_string(i / 4 % 16));
    out += "\t\t\t<fw_item>\n";
    Value(out, f, "type", "rom");
    Value(out, f, "firmware_id", "4.0.534");
    Value(out, f, "version", "4.0.534");
    Value(out, f, "action", "update");
    Value(out, f, "shared", "NO");
    Value(out, f, "duration", "30");
    Value(out, f, "message", "Boot code &quot;4.0.534&quot; is current");
    out += "\t\t\t</fw_item>\n";
    out += "\t\t</device>\n";
  }
  out += "\t</devices>\n</korvel_rom_discovery>\n";
  return out;
}

std::string TextDocument(std::size_t bytes) {
  static const char* const kSentence =
      "The adapter keeps its boot code in a flash part that the update rewrites while the "
      "server runs; a reboot &amp; power cycle make the new image take effect. ";
  std::string out = "<?xml version=\"1.0\"?>\n<manual edition=\"3\">\n";
  for (int section = 0; out.size() < bytes; ++section) {
    out += "<section id=\"s" + std::to_string(section) + "\">\n";
    out += "<title>Section " + std::to_string(section) + " &lt;firmware&gt;</title>\n";
    for (int para = 0; para < 4; ++para) {
      out += "<para>";
      for (int s = 0; s < 12; ++s)
        out += kSentence;
      out += "</para>\n";
    }
    out += "<!-- reviewed: section " + std::to_string(section) + ", no open points -->\n";
    out += "<![CDATA[\nnetscli -flashsupport -i 03:00.1 -f p3p.rom  # <example> & output\n]]>\n";
    out += "</section>\n";
  }
  out += "</manual>\n";
  return out;
}
