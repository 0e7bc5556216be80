"""A UPnP Internet gateway on loopback, and a ping service, for tests.

It answers SSDP searches on a UDP port, serves a device description and
the SOAP actions of its WAN connection services over HTTP, and answers the
ping service's two requests. Every search and every HTTP request is
appended to --log as one JSON line. When ready it writes "SSDP_PORT
HTTP_PORT" to --ready (both ports are picked by the system).

--services ip | ppp (the IP service is there but unconfigured) | none
--fault            AddPortMapping answers with a SOAP fault
--external A       the external address it reports
--location-host H  the host its search answers name in LOCATION; the HTTP
                   side listens there as well, so a fetch would be seen
--junk-first       each search first gets an answer without LOCATION
--silent           searches are recorded, never answered
--ping connect | noconnect | none (404)
GET /endless answers with a body that never ends.
"""
import argparse
import json
import os
import socket
import socketserver
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DEVICE = """<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0">
<specVersion><major>1</major><minor>0</minor></specVersion>
<device>
<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>
<friendlyName>Fake gateway</friendlyName><manufacturer>tests</manufacturer>
<modelName>fake</modelName><UDN>uuid:00000000-0000-0000-0000-000000000001</UDN>
<serviceList><service>
<serviceType>urn:schemas-upnp-org:service:Layer3Forwarding:1</serviceType>
<serviceId>urn:upnp-org:serviceId:L3Forwarding1</serviceId>
<controlURL>/ctl/L3F</controlURL><eventSubURL>/evt/L3F</eventSubURL><SCPDURL>/L3F.xml</SCPDURL>
</service></serviceList>
<deviceList><device>
<deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>
<friendlyName>WAN</friendlyName><manufacturer>tests</manufacturer>
<modelName>fake</modelName><UDN>uuid:00000000-0000-0000-0000-000000000002</UDN>
<serviceList><service>
<serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>
<serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId>
<controlURL>/ctl/CmnIfCfg</controlURL><eventSubURL>/evt/CmnIfCfg</eventSubURL><SCPDURL>/WANCfg.xml</SCPDURL>
</service></serviceList>
<deviceList><device>
<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>
<friendlyName>WAN connection</friendlyName><manufacturer>tests</manufacturer>
<modelName>fake</modelName><UDN>uuid:00000000-0000-0000-0000-000000000003</UDN>
<serviceList>{services}</serviceList>
</device></deviceList>
</device></deviceList>
<presentationURL>http://127.0.0.1/</presentationURL>
</device>
</root>
"""

SERVICE = """<service>
<serviceType>urn:schemas-upnp-org:service:{kind}:1</serviceType>
<serviceId>urn:upnp-org:serviceId:{kind}1</serviceId>
<controlURL>{control}</controlURL><eventSubURL>/evt/{kind}</eventSubURL><SCPDURL>/{kind}.xml</SCPDURL>
</service>"""

ENVELOPE = ('<?xml version="1.0"?>\r\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>{}</s:Body></s:Envelope>\r\n')


def fault(code, text):
    return ENVELOPE.format('<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>'
                           '<UPnPError xmlns="urn:schemas-upnp-org:control-1-0"><errorCode>{}</errorCode>'
                           '<errorDescription>{}</errorDescription></UPnPError></detail></s:Fault>'.format(code, text))


class Server(ThreadingHTTPServer):
    # The standard bind asks the resolver for the address's name, which
    # for 127.0.0.2 can take as long as the resolver's time-out.
    def server_bind(self):
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]


def tag(body, name):
    start = body.find("<" + name + ">")
    end = body.find("</" + name + ">")
    return body[start + len(name) + 2:end] if start >= 0 and end > start else ""


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--log", required=True)
    p.add_argument("--ready", required=True)
    p.add_argument("--services", default="ip", choices=["ip", "ppp", "none"])
    p.add_argument("--fault", action="store_true")
    p.add_argument("--external", default="203.0.113.7")
    p.add_argument("--location-host", default="127.0.0.1")
    p.add_argument("--junk-first", action="store_true")
    p.add_argument("--silent", action="store_true")
    p.add_argument("--ping", default="none", choices=["connect", "noconnect", "none"])
    args = p.parse_args()
    lock = threading.Lock()
    mappings = {}

    def record(entry):
        with lock, open(args.log, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    services = ""
    if args.services != "none":
        services = SERVICE.format(kind="WANIPConnection", control="/ctl/IPConn")
        services += SERVICE.format(kind="WANPPPConnection", control="/ctl/PPPConn")

    def soap(path, action, body):
        kind = "WANPPPConnection" if path == "/ctl/PPPConn" else "WANIPConnection"
        unconfigured = args.services == "ppp" and kind == "WANIPConnection"
        if path == "/ctl/CmnIfCfg" and action == "GetCommonLinkProperties":
            out = ("<NewWANAccessType>Ethernet</NewWANAccessType><NewLayer1UpstreamMaxBitRate>1000000"
                   "</NewLayer1UpstreamMaxBitRate><NewLayer1DownstreamMaxBitRate>1000000"
                   "</NewLayer1DownstreamMaxBitRate><NewPhysicalLinkStatus>Up</NewPhysicalLinkStatus>")
        elif action == "GetConnectionTypeInfo":
            out = ("<NewConnectionType>{}</NewConnectionType><NewPossibleConnectionTypes>IP_Routed"
                   "</NewPossibleConnectionTypes>").format("Unconfigured" if unconfigured else "IP_Routed")
        elif action == "GetStatusInfo":
            out = ("<NewConnectionStatus>{}</NewConnectionStatus><NewLastConnectionError>ERROR_NONE"
                   "</NewLastConnectionError><NewUptime>100</NewUptime>").format(
                       "Unconfigured" if unconfigured else "Connected")
        elif action == "GetNATRSIPStatus":
            out = "<NewRSIPAvailable>0</NewRSIPAvailable><NewNATEnabled>1</NewNATEnabled>"
        elif action == "GetExternalIPAddress":
            out = "<NewExternalIPAddress>{}</NewExternalIPAddress>".format(args.external)
        elif action == "AddPortMapping":
            if args.fault or unconfigured:
                return 500, fault(606, "Action not authorized")
            mappings[(tag(body, "NewExternalPort"), tag(body, "NewProtocol"))] = body
            out = ""
        elif action == "GetSpecificPortMappingEntry":
            found = mappings.get((tag(body, "NewExternalPort"), tag(body, "NewProtocol")))
            if not found:
                return 500, fault(714, "NoSuchEntryInArray")
            out = "".join("<{0}>{1}</{0}>".format(n, tag(found, n)) for n in (
                "NewInternalPort", "NewInternalClient", "NewEnabled", "NewPortMappingDescription",
                "NewLeaseDuration"))
        else:
            return 500, fault(401, "Invalid Action")
        response = '<u:{0}Response xmlns:u="urn:schemas-upnp-org:service:{1}:1">{2}</u:{0}Response>'.format(
            action, kind, out)
        return 200, ENVELOPE.format(response)

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *a):
            pass

        def reply(self, status, body, content_type="text/xml; charset=\"utf-8\""):
            data = body.encode()
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(data)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(data)
            self.close_connection = True

        def do_GET(self):
            record({"kind": "http", "method": "GET", "path": self.path, "host": self.server.server_address[0],
                    "headers": str(self.headers)})
            if self.path == "/endless":
                # A hostile device: a reply without a length that never ends.
                self.send_response(200)
                self.end_headers()
                try:
                    while True:
                        self.wfile.write(b"<x>" * 1365)
                except OSError:
                    return
            if self.path == "/rootDesc.xml":
                return self.reply(200, DEVICE.format(services=services))
            if self.path.startswith("/cgi-bin/pingme.exe") and args.ping != "none":
                if "port=" in self.path:
                    word = "CONNECT" if args.ping == "connect" else "NOCONNECT"
                    return self.reply(200, "ping\n{} {}\n".format(word, args.external), "text/plain")
                return self.reply(200, "ping\nIP {}\n".format(args.external), "text/plain")
            self.reply(404, "")

        def do_POST(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", "0"))).decode("utf-8", "replace")
            action = self.headers.get("SOAPACTION", "").strip('"').partition("#")[2]
            record({"kind": "http", "method": "POST", "path": self.path, "host": self.server.server_address[0],
                    "action": action, "headers": str(self.headers), "body": body})
            status, text = soap(self.path, action, body)
            self.reply(status, text)

    http = Server(("127.0.0.1", 0), Handler)
    http_port = http.server_address[1]
    servers = [http]
    if args.location_host != "127.0.0.1":
        servers.append(Server((args.location_host, http_port), Handler))
    for s in servers:
        threading.Thread(target=s.serve_forever, daemon=True).start()

    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", 0))
    with open(args.ready + ".tmp", "w") as f:
        f.write("{} {}\n".format(udp.getsockname()[1], http_port))
    os.rename(args.ready + ".tmp", args.ready)

    answer = ("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nEXT:\r\n"
              "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
              "USN: uuid:00000000-0000-0000-0000-000000000001::urn:schemas-upnp-org:device:InternetGatewayDevice:1"
              "\r\nSERVER: Fake/1.0 UPnP/1.0\r\nLOCATION: http://{}:{}/rootDesc.xml\r\n\r\n").format(
                  args.location_host, http_port)
    junk = "HTTP/1.1 200 OK\r\nST: upnp:rootdevice\r\nSERVER: Fake/1.0\r\n\r\n"
    while True:
        data, sender = udp.recvfrom(65536)
        text = data.decode("latin-1")
        record({"kind": "ssdp", "from": sender[0], "packet": text})
        if args.silent or not text.startswith("M-SEARCH"):
            continue
        if args.junk_first:
            udp.sendto(junk.encode(), sender)
        udp.sendto(answer.encode(), sender)


if __name__ == "__main__":
    main()
