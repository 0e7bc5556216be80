// Drives the browser interface in Chromium against the running service as a
// new user would: the first account through the accounts page, the home
// page's progress until the mirror is up to date, search and a message, a
// hostile HTML message, a rule, an autoresponder and MCP through their pages,
// then every page at phone and desktop width. Prints one JSON object with
// what the browser saw.
// Usage: node interface_check.mjs CHROMIUM BASE_URL START_TOKEN IMAP_SERVER SMTP_SERVER RECORDER_HOST SHOT_FOLDER
//        BACKUP_FOLDER
import { chromium } from 'playwright-core';

const [executablePath, base, token, imap, smtp, recorder, shots, backup] = process.argv.slice(2);
const out = { steps: [], recorderRequests: [], foreignRequests: [], dialogs: [], pages: {} };
const baseHost = new URL(base).host;
const browser = await chromium.launch({
  executablePath,
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
         '--no-first-run'],
});
const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });

function watch(page, log) {
  // A load that the page's policy refused shows as a request that failed
  // with "csp"; only one that was answered reached the network.
  page.on('response', (r) => {
    const u = new URL(r.url());
    if (u.host === recorder) out.recorderRequests.push(u.pathname);
  });
  page.on('requestfailed', (r) => {
    const u = new URL(r.url());
    if (u.host === recorder && (r.failure() || {}).errorText !== 'csp') out.recorderRequests.push(u.pathname + ' (failed)');
  });
  page.on('request', (r) => {
    const u = new URL(r.url());
    if ((u.protocol === 'http:' || u.protocol === 'https:') && u.host !== baseHost && u.host !== recorder)
      out.foreignRequests.push(r.url());
  });
  page.on('dialog', async (d) => { out.dialogs.push(d.message()); await d.accept(); });
  if (log) {
    page.on('console', (m) => { if (m.type() === 'error') log.errors.push(m.text()); });
    page.on('pageerror', (e) => log.errors.push(String(e)));
    page.on('requestfailed', (r) => log.failed.push(r.url() + ' ' + (r.failure() || {}).errorText));
    page.on('response', (r) => { if (r.status() >= 400) log.failed.push(r.url() + ' ' + r.status()); });
  }
  return page;
}

const text = (page, sel) => page.locator(sel).innerText();

// The text of the message frame once it holds needle ('' after 10 s).
async function frameText(page, needle) {
  for (let i = 0; i < 100; i++) {
    for (const f of page.frames()) {
      if (f === page.mainFrame()) continue;
      const t = await f.evaluate(() => (document.body ? document.body.innerText : '')).catch(() => '');
      if (t.includes(needle)) return t;
    }
    await page.waitForTimeout(100);
  }
  return '';
}
const step = (name) => out.steps.push(name);

try {
  const page = watch(await context.newPage());
  out.pageErrors = [];
  page.on('pageerror', (e) => out.pageErrors.push(String(e)));

  // The desktop's start address signs in and lands on the home page, which
  // offers the way to the first account.
  await page.goto(base + '/start?token=' + token);
  out.landed = new URL(page.url()).pathname;
  await page.getByRole('link', { name: 'Add your first account' }).click();
  await page.waitForURL(/emailaccounts\.html#new/);
  step('welcome');

  // A wrong password: the route's own words appear beside the form.
  await page.fill('#EMAIL', 'alice@example.org');
  await page.fill('#INCOMINGSERVER', imap);
  await page.fill('#OUTGOINGSERVER', smtp);
  await page.fill('#PASSWORD', 'wrong');
  await page.click('#test');
  await page.waitForSelector('#formmsg.error', { timeout: 60000 });
  out.wrongPasswordMessage = await text(page, '#formmsg');
  await page.fill('#PASSWORD', 'secret');
  await page.click('#test');
  await page.waitForSelector('#formmsg.ok', { timeout: 60000 });
  out.testMessage = await text(page, '#formmsg');
  await page.click('#save');
  await page.waitForSelector('#pagemsg.ok', { timeout: 30000 });
  step('account saved');

  // The home page shows the first mirror's progress, then "Up to date".
  await page.goto(base + '/index.html');
  await page.waitForSelector('.state-updating', { timeout: 30000 });
  await page.waitForFunction(() => /mailboxes done/.test(document.querySelector('.progressline')?.textContent || ''),
    null, { timeout: 30000 }).catch(() => {});
  out.progressText = await page.locator('#accounts').innerText();
  // The picture once some mail is in, as a user sees most of a first mirror.
  await page.waitForFunction(() => !document.querySelector('.state-updating') ||
    /[1-9]\d* of \d+ mailboxes done/.test(document.querySelector('.progressline')?.textContent || ''), null,
    { timeout: 15000 }).catch(() => {});
  await page.waitForTimeout(300);
  await page.screenshot({ path: shots + '/home.png' });
  await page.waitForSelector('.state-uptodate', { timeout: 150000 });
  await page.waitForSelector('#newest tbody tr[data-id]', { timeout: 30000 });
  out.finalState = await page.locator('#accounts .state').first().innerText();
  out.newestRows = await page.locator('#newest tbody tr[data-id]').count();
  out.storedCount = await text(page, '#accounts .count');
  step('mirrored');

  // The home page's search box leads to the results; the message opens.
  await page.fill('#q', 'zanzibarite');
  await page.press('#q', 'Enter');
  await page.waitForURL(/search\.html/);
  await page.waitForSelector('#table tbody tr[data-id]', { timeout: 30000 });
  out.searchShown = await text(page, '#shown');
  await page.locator('#table tbody tr[data-id]').first().click();
  await page.waitForSelector('#msgheaders dd', { timeout: 30000 });
  out.openedSubject = await text(page, '#msgsubject');
  out.openedHtmlText = await frameText(page, 'zanzibarite');
  await page.click('#showtext');
  out.openedText = await text(page, '#text');
  out.openedAttachments = await text(page, '#msgattach');
  await page.click('#showhtml');
  await page.waitForTimeout(300);
  await page.locator('#message').screenshot({ path: shots + '/message.png' });
  step('searched');

  // A hostile HTML message: nothing runs, nothing is fetched, until remote
  // images are asked for (then only the image).
  await page.fill('#query', 'hostilemarker');
  await page.press('#query', 'Enter');
  await page.waitForFunction(() => /Spring newsletter/.test(document.querySelector('#table tbody')?.textContent || ''), null,
    { timeout: 30000 });
  await page.locator('#table tbody tr[data-id]').first().click();
  await page.waitForFunction(() => /Spring newsletter/.test(document.querySelector('#msgsubject')?.textContent || ''), null,
    { timeout: 30000 });
  await page.waitForTimeout(1000);
  out.hostile = {
    title: await page.title(),
    requestsBefore: out.recorderRequests.slice(),
    sandbox: await page.getAttribute('#html', 'sandbox'),
    frameText: await frameText(page, 'hostilemarker'),
    attachments: await text(page, '#msgattach'),
  };
  const fetched = page.waitForResponse((r) => new URL(r.url()).host === recorder, { timeout: 10000 }).catch(() => {});
  await page.click('#remote');
  await fetched;
  await page.waitForTimeout(300);
  out.hostile.requestsAfter = out.recorderRequests.slice();
  step('hostile');

  // A rule through the rules page.
  await page.goto(base + '/rules.html');
  await page.click('#add');
  await page.fill('#NAME', 'File receipts');
  await page.locator('#conds .part').first().selectOption('SUBJECT');
  await page.locator('#conds .test').first().selectOption('STARTS');
  await page.locator('#conds .detail').first().fill('Receipt');
  await page.selectOption('#FUNCTION', 'MOVE');
  await page.fill('#box', 'Archive');
  await page.click('#save');
  await page.waitForSelector('#pagemsg.ok', { timeout: 30000 });
  out.ruleRow = await page.locator('#rules tbody').innerText();
  step('rule');

  // An autoresponder through its page.
  await page.goto(base + '/autoresponders.html');
  await page.click('#add');
  await page.fill('#name', 'Away');
  await page.fill('#body', 'I am away until Monday.');
  await page.check('#all_accounts');
  await page.click('#save');
  await page.waitForSelector('#pagemsg.ok', { timeout: 30000 });
  out.autoresponderRow = await page.locator('#list tbody').innerText();
  step('autoresponder');

  // MCP on, with a Bearer key required.
  await page.goto(base + '/mcp.html');
  await page.waitForSelector('#form[data-loaded]', { timeout: 30000 });
  await page.check('#enabled');
  await page.check('#requireBearerAuth');
  await page.click('#save');
  await page.waitForSelector('#savemsg.error', { timeout: 30000 });
  out.mcpKeyMissing = await text(page, '#savemsg');
  await page.fill('#bearerKey', 'kiwi-bearer-key-0042');
  await page.click('#save');
  await page.waitForSelector('#savemsg.ok', { timeout: 30000 });
  out.mcpEnabledShown = await page.isChecked('#enabled');
  step('mcp');

  // The backup: a folder that does not exist is refused in the route's
  // words; an existing one is kept and the state says so.
  await page.goto(base + '/backup.html');
  await page.check('#enabled');
  await page.fill('#folder', backup + '/missing');
  await page.click('#save');
  await page.waitForSelector('#msg.error', { timeout: 30000 });
  out.backupMissing = await text(page, '#msg');
  await page.fill('#folder', backup);
  await page.click('#save');
  await page.waitForSelector('#msg.ok', { timeout: 30000 });
  await page.waitForFunction(() => /is on/.test(document.getElementById('state').textContent), null, { timeout: 10000 });
  out.backupState = await text(page, '#state');
  // The round the save started shows once it is done.
  for (let i = 0; i < 30 && !/wrote [1-9]/.test(await text(page, '#round')); i++) {
    await page.waitForTimeout(500);
    await page.reload();
    await page.waitForFunction(() => document.getElementById('round').textContent != '', null, { timeout: 10000 });
  }
  out.backupRound = await text(page, '#round');
  step('backup');

  // The log: the day's email activity, newest line first, filtered by a word.
  await page.goto(base + '/log.html');
  await page.click('#cats [data-cat=email]');
  await page.waitForFunction(() => /Completed mailbox/.test(document.getElementById('content').textContent), null,
    { timeout: 30000 });
  const all = (await text(page, '#content')).split('\n').filter((l) => l);
  await page.fill('#filter', 'Completed mailbox INBOX');
  const shown = (await text(page, '#content')).split('\n').filter((l) => l);
  out.logFiltered = shown.length > 0 && shown.length < all.length && shown.every((l) => l.includes('Completed mailbox INBOX'));
  out.logNewestFirst = all.length > 1 && all[0] >= all[all.length - 1];
  out.logTitle = await text(page, '#contenttitle');
  step('log');

  // An account's own actions answer beside that account.
  await page.goto(base + '/emailaccounts.html');
  const card = page.locator('article[data-account]').first();
  await card.getByRole('button', { name: 'Set password' }).click();
  await card.locator('.msg.account.error').waitFor({ timeout: 10000 });
  out.emptyPasswordMessage = await card.locator('.msg.account').innerText();
  await card.locator('summary', { hasText: 'More' }).click();
  await card.getByRole('button', { name: 'Refresh mailbox list' }).click();
  await card.locator('.msg.account.ok').waitFor({ timeout: 30000 });
  out.refreshMessage = await card.locator('.msg.account').innerText();
  step('account actions');

  // The metrics page sorts by its default column (the script's name) with
  // table.js.
  await page.goto(base + '/_webscriptmetrics');
  await page.waitForSelector('#WMSortColumnDefault[aria-sort]', { timeout: 10000 });
  out.metricsSort = await page.getAttribute('#WMSortColumnDefault', 'aria-sort');
  const sortedBy = (id) => page.evaluate((id) => {
    const th = document.getElementById(id);
    const keys = Array.from(th.closest('table').rows).filter((r) => !r.querySelector('th'))
      .map((r) => r.cells[th.cellIndex]?.getAttribute('data-order') ?? '');
    const order = (a, b) => a.localeCompare(b, undefined, { numeric: true, sensitivity: 'base' });
    const up = th.getAttribute('aria-sort') === 'ascending';
    return keys.length > 1 && keys.every((k, i) => i === 0 || (up ? order(keys[i - 1], k) <= 0 : order(keys[i - 1], k) >= 0));
  }, id);
  out.metricsSorted = await sortedBy('WMSortColumnDefault');
  await page.click('#WMSortColumnDefault');
  out.metricsResort = await page.getAttribute('#WMSortColumnDefault', 'aria-sort');
  out.metricsResorted = await sortedBy('WMSortColumnDefault');
  step('metrics');
  await page.close();

  // Every page at phone and desktop width: no console error, no failed
  // request, nothing wider than the window.
  const pages = ['index.html', 'emailaccounts.html', 'search.html', 'rules.html', 'autoresponders.html', 'backup.html',
                 'log.html', 'mcp.html', 'settings.html'];
  for (const width of [360, 1280]) {
    const ctx = await browser.newContext({ viewport: { width, height: 780 } });
    await ctx.addCookies(await context.cookies());
    for (const name of pages) {
      const log = { errors: [], failed: [] };
      const p = watch(await ctx.newPage(), log);
      // The MCP page's client status waits for the desktop, absent here.
      await p.goto(base + '/' + name, { waitUntil: name === 'mcp.html' ? 'load' : 'networkidle' });
      if (name === 'mcp.html') await p.waitForSelector('#form[data-loaded]', { timeout: 10000 });
      log.overflow = await p.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      log.header = await p.locator('.headertable').isVisible();
      if (name === 'index.html') {
        log.paint = await p.evaluate(() => Object.fromEntries(performance.getEntriesByType('paint').map((e) => [e.name, e.startTime])));
      }
      out.pages[name + '@' + width] = JSON.parse(JSON.stringify(log));
      await p.close();
    }
    await ctx.close();
  }
  step('pages');
} catch (e) {
  out.failure = String(e && e.stack || e);
}
await browser.close();
console.log(JSON.stringify(out));
