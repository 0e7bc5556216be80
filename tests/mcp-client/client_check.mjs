// Drives the MCP endpoint with the official TypeScript SDK client over
// Streamable HTTP and prints what it saw as one JSON object: every HTTP
// exchange (method and status), every transport error, the tool list, ping,
// and the result of each call named in the calls file.
//   node client_check.mjs URL TOKEN CALLS.json OUT.json
// A URL "stdio:PROGRAM" starts PROGRAM -mcpstdio with this environment and
// speaks over its standard streams instead (TOKEN is then unused).
// CALLS.json: [{"name": "...", "arguments": {...}, "timeout_ms": N}, ...];
// the findings go to OUT.json. PORLINEX_CALL_REPEAT=N calls each tool N
// times (timings_ms has every call's time, for the benchmark);
// PORLINEX_PING_REPEAT=N sends N more pings (ping_ms).
import { readFileSync, writeFileSync } from "node:fs";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";
import { StreamableHTTPClientTransport } from "@modelcontextprotocol/sdk/client/streamableHttp.js";

const [url, token, callsFile, outFile] = process.argv.slice(2);
const calls = callsFile ? JSON.parse(readFileSync(callsFile, "utf8")) : [];
const seen = { exchanges: [], errors: [], tools: [], ping: null, calls: [], timings_ms: [], ping_ms: [] };
const stdio = url.startsWith("stdio:");

const recordingFetch = async (input, init) => {
  const response = await fetch(input, init);
  seen.exchanges.push({ method: (init && init.method) || "GET", status: response.status });
  return response;
};

const transport = stdio
  ? new StdioClientTransport({ command: url.slice(6), args: ["-mcpstdio"], env: { ...process.env }, stderr: "ignore" })
  : new StreamableHTTPClientTransport(new URL(url), {
      requestInit: { headers: { Authorization: `Bearer ${token}` } },
      fetch: recordingFetch,
    });
const client = new Client({ name: "porlinex-test-client", version: "1.0.0" });
client.onerror = (e) => seen.errors.push(String(e && e.message ? e.message : e));
transport.onerror = (e) => seen.errors.push(String(e && e.message ? e.message : e));

try {
  await client.connect(transport);
  // The SDK opens its optional event stream (GET) without waiting for it.
  if (!stdio) await new Promise((r) => setTimeout(r, 300));
  seen.server = client.getServerVersion();
  seen.tools = (await client.listTools()).tools.map((t) => t.name);
  seen.ping = await client.ping();
  for (let i = Number(process.env.PORLINEX_PING_REPEAT || "0"); i > 0; i--) {
    const start = process.hrtime.bigint();
    await client.ping();
    seen.ping_ms.push(Number(process.hrtime.bigint() - start) / 1e6);
  }
  const repeat = Number(process.env.PORLINEX_CALL_REPEAT || "1");
  for (const call of calls) {
    let result;
    for (let i = 0; i < repeat; i++) {
      const start = process.hrtime.bigint();
      const options = call.timeout_ms ? { timeout: call.timeout_ms } : undefined;
      result = await client.callTool({ name: call.name, arguments: call.arguments || {} }, undefined, options);
      seen.timings_ms.push(Number(process.hrtime.bigint() - start) / 1e6);
    }
    seen.calls.push({ name: call.name, result });
  }
} catch (e) {
  seen.errors.push(`exception: ${e && e.message ? e.message : e}`);
}
await client.close().catch((e) => seen.errors.push(`close: ${e}`));
writeFileSync(outFile, JSON.stringify(seen));
