// The browser side of the server-made dialogs: a form is posted by script
// and the server answers with a short script that runs here.

// POSTs the URL-encoded params to url; onSuccess gets the reply text.
// onFail runs on an HTTP error status, onError on a network error or time-out.
function SimpleAjaxCall(url, params, onSuccess, onFail, onError, timeoutMs) {
    var xhr = new XMLHttpRequest();
    xhr.open('POST', url, true);
    xhr.setRequestHeader('Content-Type', 'application/x-www-form-urlencoded');
    // Marks the call as coming from this server's own pages.
    xhr.setRequestHeader('X-AJAX', '1');
    if (timeoutMs) xhr.timeout = timeoutMs;
    xhr.onload = function () {
        if (xhr.status >= 200 && xhr.status < 300) {
            if (onSuccess) onSuccess(xhr.responseText);
        } else if (onFail) {
            onFail(xhr.status);
        }
    };
    xhr.onerror = function () { if (onError) onError(); };
    xhr.ontimeout = function () { if (onError) onError(); };
    xhr.send(params);
}

// The named fields of a form as "name=value&" pairs; unticked boxes and the
// submit buttons are left out (the caller adds the pressed one).
function GetParams(formId) {
    var form = document.getElementById(formId);
    var out = '';
    if (!form) return out;
    for (var i = 0; i < form.elements.length; i++) {
        var e = form.elements[i];
        if (!e.name || e.type == 'submit' || e.type == 'button') continue;
        if ((e.type == 'checkbox' || e.type == 'radio') && !e.checked) continue;
        out += encodeURIComponent(e.name) + '=' + encodeURIComponent(e.value) + '&';
    }
    return out;
}

// "&id=value" of one element, for control calls.
function GetArg(id) {
    var e = document.getElementById(id);
    if (!e) return '';
    var v = (e.type == 'checkbox') ? (e.checked ? '1' : '') : e.value;
    return '&' + encodeURIComponent(id) + '=' + encodeURIComponent(v);
}

// The server's answer to a submit is script made by the server itself.
function HandleAjaxJSReturn(text) {
    if (text) (0, eval)(text);
}

// The browser interface's calls. Each sends the session cookie and the
// X-AJAX header. A failure rejects with an AjaxError whose message is the
// route's own words: errormsg or error of the reply, else the reason of the
// HTTP status line.
class AjaxError extends Error {
    constructor(message, status) { super(message); this.status = status; }
}

const kSessionEnded = 'Your session has ended. Open Porlinex again from the desktop.';

// The reply's text; rejects on a network failure or an HTTP error status.
async function AjaxFetch(route, body, contentType) {
    let reply;
    try {
        reply = await fetch(route, {
            method: 'POST', credentials: 'same-origin', cache: 'no-store',
            headers: { 'Content-Type': contentType, 'X-AJAX': '1' }, body: body,
        });
    } catch (e) {
        throw new AjaxError('The Porlinex service did not answer. Is it running?', 0);
    }
    const text = await reply.text();
    if (reply.status == 401) throw new AjaxError(kSessionEnded, 401);
    if (!reply.ok) throw new AjaxError((reply.statusText || 'Request failed') + ' (HTTP ' + reply.status + ')', reply.status);
    return text;
}

// The parsed JSON reply (an empty object for an empty 200), rejected when
// the reply reports a failure.
async function AjaxRequest(route, body, contentType) {
    const text = await AjaxFetch(route, body, contentType);
    if (!text) return {};
    let data;
    try { data = JSON.parse(text); } catch (e) { throw new AjaxError('The reply of ' + route + ' could not be read.', 500); }
    if (data && typeof data == 'object') {
        if (data.errorcode == 401) throw new AjaxError(kSessionEnded, 401);
        if (data.errorcode !== undefined && data.errorcode != 0 && data.errorcode != 200)
            throw new AjaxError(data.errormsg || ('Error ' + data.errorcode), data.errorcode);
        if (data.ok === false) throw new AjaxError(data.error || 'The request failed.', 400);
    }
    return data;
}

// A JSON route: body is an object.
function AjaxJson(route, body) {
    return AjaxRequest(route, JSON.stringify(body || {}), 'application/json');
}

function FormBody(fields) { return new URLSearchParams(fields || {}).toString(); }

// A page route with named fields, sent as a form body (never in the URL).
function AjaxForm(route, fields) {
    return AjaxRequest(route, FormBody(fields), 'application/x-www-form-urlencoded');
}

// A page route that answers plain text (a log file).
function AjaxText(route, fields) {
    return AjaxFetch(route, FormBody(fields), 'application/x-www-form-urlencoded');
}
