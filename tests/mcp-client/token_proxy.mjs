// A loopback proxy for the conformance suite, which sends no credentials:
// every request is passed to the service with the bearer token added, and
// with its Host and Origin headers exactly as the suite sent them.
//   node token_proxy.mjs LISTEN_PORT TARGET_PORT TOKEN
import http from "node:http";

const [listenPort, targetPort, token] = process.argv.slice(2);

const server = http.createServer((req, res) => {
  const headers = { ...req.headers, authorization: `Bearer ${token}` };
  const upstream = http.request(
    { host: "127.0.0.1", port: Number(targetPort), method: req.method, path: req.url, headers },
    (answer) => {
      res.writeHead(answer.statusCode, answer.headers);
      answer.pipe(res);
    },
  );
  upstream.on("error", () => {
    res.writeHead(502);
    res.end();
  });
  req.pipe(upstream);
});
server.listen(Number(listenPort), "127.0.0.1");
