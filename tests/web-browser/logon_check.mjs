// Drives the log-on, change-password and lost-password dialogs in Chromium
// and prints one JSON object with what the browser saw.
// Usage: node logon_check.mjs CHROMIUM BASE_URL SESSION_ID
import { chromium } from 'playwright-core';

const [executablePath, base, session] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath,
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
         '--no-first-run'],
});
const out = { dialogs: 0, foreignRequests: [], crafted: [], errors: {} };
const baseHost = new URL(base).host;

async function newPage(withSession) {
  const context = await browser.newContext();
  if (withSession) await context.addCookies([{ name: 'porlinex_sess', value: session, url: base }]);
  const page = await context.newPage();
  page.on('dialog', async (d) => { out.dialogs++; await d.dismiss(); });
  page.on('request', (r) => {
    const u = new URL(r.url());
    if ((u.protocol === 'http:' || u.protocol === 'https:') && u.host !== baseHost) out.foreignRequests.push(r.url());
  });
  return page;
}

// The error text and whether its row sits right before the control's row.
async function errorNextTo(page, id) {
  await page.waitForSelector('#invalidTag', { timeout: 10000 });
  return page.evaluate((id) => {
    const tag = document.getElementById('invalidTag');
    const row = tag.closest('tr');
    const next = row.nextElementSibling;
    return { text: tag.textContent, nextToControl: !!(next && next.querySelector('[id="' + id + '"]')) };
  }, id);
}

// The address the dialog sends the browser to after a submit (a target
// may answer with an error status: the address is what counts).
async function submitAndWaitAway(page, fromPath, buttonId = '54546') {
  const [request] = await Promise.all([
    page.waitForRequest((r) => r.isNavigationRequest() && new URL(r.url()).pathname !== fromPath, { timeout: 10000 }),
    page.click('[id="' + buttonId + '"]'),
  ]);
  await page.waitForLoadState('load').catch(() => {});
  // Give a script that might have been injected a moment to run.
  await page.waitForTimeout(300);
  return request.url();
}

try {
  // Log-on: a wrong password first, then the right one, for each return target.
  const targets = ['lostpasswordsent', 'javascript:alert(1)', '//evil.example/', "x';alert(1);//",
                   'main\r\nSet-Cookie: x=1', 'https://evil.example/'];
  for (const onok of targets) {
    const page = await newPage(false);
    await page.goto(base + '/logon?onok=' + encodeURIComponent(onok));
    await page.fill('[id="101"]', 'local');
    if (!out.errors.logon) {
      // Once only: every failure counts toward the address's log-on limit.
      await page.fill('[id="102"]', 'wrong');
      await page.click('[id="54546"]');
      out.errors.logon = await errorNextTo(page, '101');
    }
    await page.fill('[id="102"]', 'right');
    const url = await submitAndWaitAway(page, '/logon');
    out.crafted.push({ onok, url });
    await page.context().close();
  }

  // Change password with a session: the mismatch error sits by control 103.
  {
    const page = await newPage(true);
    await page.goto(base + '/changepassword');
    await page.fill('[id="101"]', 'right');
    await page.fill('[id="102"]', 'one');
    await page.fill('[id="103"]', 'two');
    await page.click('[id="54546"]');
    out.errors.changepassword = await errorNextTo(page, '103');
    await page.fill('[id="103"]', 'one');
    out.changed = await submitAndWaitAway(page, '/changepassword');
    out.changedText = await page.textContent('body');
    await page.context().close();
  }

  // Lost password: an unknown user first, then a real one.
  {
    const page = await newPage(false);
    await page.goto(base + '/lostpassword');
    await page.fill('[id="101"]', 'nobody@example.org');
    await page.click('[id="54546"]');
    out.errors.lostpassword = await errorNextTo(page, '101');
    await page.fill('[id="101"]', 'ann@example.org');
    out.sent = await submitAndWaitAway(page, '/lostpassword');
    await page.context().close();
  }
} catch (e) {
  out.failure = String(e);
}
await browser.close();
console.log(JSON.stringify(out));
